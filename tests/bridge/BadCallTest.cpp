// The editor passes whatever it holds; a crash here would take it down with
// the user's unsaved work. Every bad call yields the export's failure result.
#include <gtest/gtest.h>

#include <functional>

#include "BridgeTestSupport.h"

namespace {

using namespace bridge_test;

class BridgeBadCall : public ::testing::Test {
 protected:
  void SetUp() override {
    parser = morv_parser_create();
    ASSERT_TRUE(morv_parser_set_language(parser, tree_sitter_json()));
    tree = parse(parser, document);
    ASSERT_NE(tree, nullptr);
    top = root(tree);
    uint32_t offset = 0, type = 0;
    const char source[] = "((number) @n (#eq? @n \"1\"))";
    query = morv_query_new(tree_sitter_json(), source, sizeof source - 1, &offset, &type);
    ASSERT_NE(query, nullptr);
    cursor = morv_cursor_create();
    std::memset(&out, 0xab, sizeof out);
  }

  void TearDown() override {
    morv_cursor_delete(cursor);
    morv_query_delete(query);
    morv_tree_delete(tree);
    morv_parser_delete(parser);
  }

  bool outIsNullNode() const {
    MorvNode zero;
    std::memset(&zero, 0, sizeof zero);
    return std::memcmp(&out, &zero, sizeof out) == 0;
  }

  Document document{u"[1, 2]"};
  MorvParser *parser = nullptr;
  MorvTree *tree = nullptr;
  MorvQuery *query = nullptr;
  MorvCursor *cursor = nullptr;
  MorvNode top{};
  MorvNode out{};
  MorvNode nullNode{};
};

TEST_F(BridgeBadCall, ReturnsTheFailureResult) {
  uint32_t length = 77;
  MorvQueryMatch match;
  uint32_t index = 0;
  const struct {
    const char *call;
    std::function<bool()> failed;
  } cases[] = {
      {"set_language(null parser)", [&] { return !morv_parser_set_language(nullptr, tree_sitter_json()); }},
      {"reset(null parser)", [&] { morv_parser_reset(nullptr); return true; }},
      {"parse(null parser)",
       [&] { return morv_parser_parse(nullptr, nullptr, &Document::read, &document, &Progress::report, nullptr) == nullptr; }},
      {"parse(null read)",
       [&] { return morv_parser_parse(parser, nullptr, nullptr, &document, &Progress::report, nullptr) == nullptr; }},
      {"tree_root(null tree)", [&] { morv_tree_root(nullptr, &out); return outIsNullNode(); }},
      {"tree_root(null out)", [&] { morv_tree_root(tree, nullptr); return true; }},
      {"tree_edit(null tree)", [&] { morv_tree_edit(nullptr, 0, 1, 2, 0, 0, 0, 1, 0, 2); return true; }},
      {"abi_version(null)", [&] { return morv_language_abi_version(nullptr) == 0; }},
      {"symbol_name(null)", [&] { return morv_language_symbol_name(nullptr, 1) == nullptr; }},
      {"child(null address)", [&] { morv_node_child(nullptr, 0, &out); return outIsNullNode(); }},
      {"child(null node)", [&] { morv_node_child(&nullNode, 0, &out); return outIsNullNode(); }},
      {"child(null out)", [&] { morv_node_child(&top, 0, nullptr); return true; }},
      {"named_child(null node)", [&] { morv_node_named_child(&nullNode, 0, &out); return outIsNullNode(); }},
      {"parent(null node)", [&] { morv_node_parent(&nullNode, &out); return outIsNullNode(); }},
      {"next_sibling(null address)", [&] { morv_node_next_sibling(nullptr, &out); return outIsNullNode(); }},
      {"prev_sibling(null node)", [&] { morv_node_prev_sibling(&nullNode, &out); return outIsNullNode(); }},
      {"descendant(null node)",
       [&] { morv_node_descendant_for_byte_range(&nullNode, 0, 2, &out); return outIsNullNode(); }},
      {"child_count(null node)", [&] { return morv_node_child_count(&nullNode) == 0; }},
      {"named_child_count(null address)", [&] { return morv_node_named_child_count(nullptr) == 0; }},
      {"start_byte(null node)", [&] { return morv_node_start_byte(&nullNode) == 0; }},
      {"end_byte(null address)", [&] { return morv_node_end_byte(nullptr) == 0; }},
      {"symbol(null node)", [&] { return morv_node_symbol(&nullNode) == 0; }},
      {"is_named(null node)", [&] { return !morv_node_is_named(&nullNode); }},
      {"is_missing(null address)", [&] { return !morv_node_is_missing(nullptr); }},
      {"is_error(null node)", [&] { return !morv_node_is_error(&nullNode); }},
      {"has_error(null node)", [&] { return !morv_node_has_error(&nullNode); }},
      {"node_string(null node)", [&] { return morv_node_string(&nullNode) == nullptr; }},
      {"node_string(null address)", [&] { return morv_node_string(nullptr) == nullptr; }},
      {"query_new(null language)",
       [&] {
         uint32_t offset = 9, type = 0;
         return morv_query_new(nullptr, "(number)", 8, &offset, &type) == nullptr &&
                type == MorvQueryErrorLanguage && offset == 0;
       }},
      {"query_new(null source)",
       [&] {
         uint32_t offset = 9, type = 0;
         return morv_query_new(tree_sitter_json(), nullptr, 8, &offset, &type) == nullptr &&
                type == MorvQueryErrorSyntax && offset == 0;
       }},
      {"query_new(null error pointers)",
       [&] { return morv_query_new(tree_sitter_json(), "(array", 6, nullptr, nullptr) == nullptr; }},
      {"pattern_count(null)", [&] { return morv_query_pattern_count(nullptr) == 0; }},
      {"capture_count(null)", [&] { return morv_query_capture_count(nullptr) == 0; }},
      {"string_count(null)", [&] { return morv_query_string_count(nullptr) == 0; }},
      {"capture_name(null query)", [&] { return morv_query_capture_name(nullptr, 0, &length) == nullptr && length == 0; }},
      {"capture_name(id = count)", [&] { return morv_query_capture_name(query, 1, &length) == nullptr && length == 0; }},
      {"capture_name(id 0xffff)", [&] { return morv_query_capture_name(query, 0xffff, &length) == nullptr && length == 0; }},
      // Without the length the name, which has no terminator, cannot be read.
      {"capture_name(null length)", [&] { return morv_query_capture_name(query, 0, nullptr) == nullptr; }},
      {"string_value(null length)", [&] { return morv_query_string_value(query, 0, nullptr) == nullptr; }},
      {"string_value(id = count)",
       [&] { return morv_query_string_value(query, morv_query_string_count(query), &length) == nullptr && length == 0; }},
      {"string_value(null query)", [&] { return morv_query_string_value(nullptr, 0, &length) == nullptr && length == 0; }},
      {"predicates(index = count)", [&] { return morv_query_predicates(query, 1, &length) == nullptr && length == 0; }},
      {"predicates(null query)", [&] { return morv_query_predicates(nullptr, 0, &length) == nullptr && length == 0; }},
      {"predicates(null count)", [&] { return morv_query_predicates(query, 0, nullptr) == nullptr; }},
      {"set_byte_range(null cursor)", [&] { return !morv_cursor_set_byte_range(nullptr, 0, 0); }},
      {"exec(null cursor)", [&] { morv_cursor_exec(nullptr, query, &top); return true; }},
      {"next_capture(never run)", [&] { return !morv_cursor_next_capture(cursor, &match, &index); }},
      // A refused run still ends the earlier one, whose tree may be gone.
      {"exec(null query) then next", [&] {
         morv_cursor_exec(cursor, query, &top);
         morv_cursor_exec(cursor, nullptr, &top);
         return !morv_cursor_next_capture(cursor, &match, &index);
       }},
      {"exec(null node) then next", [&] {
         morv_cursor_exec(cursor, query, &top);
         morv_cursor_exec(cursor, query, &nullNode);
         return !morv_cursor_next_capture(cursor, &match, &index);
       }},
      {"exec(null address) then next", [&] {
         morv_cursor_exec(cursor, query, &top);
         morv_cursor_exec(cursor, query, nullptr);
         return !morv_cursor_next_capture(cursor, &match, &index);
       }},
      {"next_capture(null cursor)", [&] { return !morv_cursor_next_capture(nullptr, &match, &index); }},
      {"next_capture(null match)", [&] {
         morv_cursor_exec(cursor, query, &top);
         return !morv_cursor_next_capture(cursor, nullptr, &index) &&
                !morv_cursor_next_capture(cursor, &match, nullptr) &&
                morv_cursor_next_capture(cursor, &match, &index);  // not advanced
       }},
      {"tree_cursor_create(null node)", [&] { return morv_tree_cursor_create(&nullNode) == nullptr; }},
      {"tree_cursor_create(null address)", [&] { return morv_tree_cursor_create(nullptr) == nullptr; }},
      {"tree_cursor_delete(null)", [&] { morv_tree_cursor_delete(nullptr); return true; }},
      {"tree_cursor_reset(null cursor)", [&] { return !morv_tree_cursor_reset(nullptr, &top); }},
      {"tree_cursor_reset(null node) keeps the cursor", [&] {
         MorvTreeCursor *c = morv_tree_cursor_create(&top);
         const bool refused = !morv_tree_cursor_reset(c, &nullNode) && !morv_tree_cursor_reset(c, nullptr) &&
                              morv_tree_cursor_goto_first_child(c);
         morv_tree_cursor_delete(c);
         return refused;
       }},
      {"tree_cursor_copy(null)", [&] { return morv_tree_cursor_copy(nullptr) == nullptr; }},
      {"tree_cursor_current_node(null cursor)", [&] { morv_tree_cursor_current_node(nullptr, &out); return outIsNullNode(); }},
      {"tree_cursor_current_node(null out)", [&] {
         MorvTreeCursor *c = morv_tree_cursor_create(&top);
         morv_tree_cursor_current_node(c, nullptr);
         morv_tree_cursor_delete(c);
         return true;
       }},
      {"tree_cursor_current_field_id(null)", [&] { return morv_tree_cursor_current_field_id(nullptr) == 0; }},
      {"tree_cursor_current_depth(null)", [&] { return morv_tree_cursor_current_depth(nullptr) == 0; }},
      {"tree_cursor_goto_first_child(null)", [&] { return !morv_tree_cursor_goto_first_child(nullptr); }},
      {"tree_cursor_goto_last_child(null)", [&] { return !morv_tree_cursor_goto_last_child(nullptr); }},
      {"tree_cursor_goto_next_sibling(null)", [&] { return !morv_tree_cursor_goto_next_sibling(nullptr); }},
      {"tree_cursor_goto_previous_sibling(null)", [&] { return !morv_tree_cursor_goto_previous_sibling(nullptr); }},
      {"tree_cursor_goto_parent(null)", [&] { return !morv_tree_cursor_goto_parent(nullptr); }},
      {"tree_cursor_goto_first_child_for_byte(null)", [&] { return morv_tree_cursor_goto_first_child_for_byte(nullptr, 0) == -1; }},
      {"field_count(null)", [&] { return morv_language_field_count(nullptr) == 0; }},
      {"field_name(null language)", [&] { return morv_language_field_name(nullptr, 1) == nullptr; }},
      {"field_name(id 0)", [&] { return morv_language_field_name(tree_sitter_json(), 0) == nullptr; }},
      {"field_name(id 0xffffffff)", [&] { return morv_language_field_name(tree_sitter_json(), 0xffffffff) == nullptr; }},
      {"field_id(null language)", [&] { return morv_language_field_id(nullptr, "key", 3) == 0; }},
      {"field_id(null name)", [&] { return morv_language_field_id(tree_sitter_json(), nullptr, 3) == 0; }},
      {"symbol_count(null)", [&] { return morv_language_symbol_count(nullptr) == 0; }},
      {"symbol_for_name(null language)", [&] { return morv_language_symbol_for_name(nullptr, "number", 6, true) == 0; }},
      {"symbol_for_name(null name)", [&] { return morv_language_symbol_for_name(tree_sitter_json(), nullptr, 6, true) == 0; }},
      {"symbol_type(null language)", [&] { return morv_language_symbol_type(nullptr, 1) == -1; }},
      // The library indexes its metadata with the symbol unchecked.
      {"symbol_type(symbol 65533)", [&] { return morv_language_symbol_type(tree_sitter_json(), 65533) == -1; }},
      {"child_by_field_id(null node)", [&] { morv_node_child_by_field_id(&nullNode, 1, &out); return outIsNullNode(); }},
      // Only the low 16 bits would reach the library, naming another field.
      {"child_by_field_id(key id + 0x10000)", [&] {
         Document object{u"{\"a\": 1}"};
         MorvTree *t = parse(parser, object);
         MorvNode pair = namedChild(namedChild(root(t), 0), 0), key, wide;
         const uint32_t id = morv_language_field_id(tree_sitter_json(), "key", 3);
         morv_node_child_by_field_id(&pair, id, &key);
         morv_node_child_by_field_id(&pair, id + 0x10000, &wide);
         morv_tree_delete(t);
         return key.id != nullptr && wide.id == nullptr;
       }},
      {"child_by_field_id(null out)", [&] { morv_node_child_by_field_id(&top, 1, nullptr); return true; }},
      {"field_name_for_child(null node)", [&] { return morv_node_field_name_for_child(&nullNode, 0) == nullptr; }},
      {"field_name_for_child(index past the end)", [&] { return morv_node_field_name_for_child(&top, 99) == nullptr; }},
      {"descendant_count(null node)", [&] { return morv_node_descendant_count(&nullNode) == 0; }},
      {"named_descendant(null address)",
       [&] { morv_node_named_descendant_for_byte_range(nullptr, 0, 2, &out); return outIsNullNode(); }},
      {"first_child_for_byte(null node)", [&] { morv_node_first_child_for_byte(&nullNode, 0, &out); return outIsNullNode(); }},
      {"first_child_for_byte(past the end)", [&] { morv_node_first_child_for_byte(&top, 999, &out); return outIsNullNode(); }},
      {"first_named_child_for_byte(null address)",
       [&] { morv_node_first_named_child_for_byte(nullptr, 0, &out); return outIsNullNode(); }},
      {"node_eq(null node, null node)", [&] { return !morv_node_eq(&nullNode, &nullNode); }},
      {"node_eq(node, null address)", [&] { return !morv_node_eq(&top, nullptr) && !morv_node_eq(nullptr, &top); }},
      {"grammar_symbol(null node)", [&] { return morv_node_grammar_symbol(&nullNode) == 0; }},
      {"parse_state(null address)", [&] { return morv_node_parse_state(nullptr) == 0; }},
      {"is_extra(null node)", [&] { return !morv_node_is_extra(&nullNode); }},
      {"tree_export_delete(null)", [&] { morv_tree_export_delete(nullptr); return true; }},
      {"tree_export_start(null export)", [&] { return !morv_tree_export_start(nullptr, &top, 0, 0, 9); }},
      {"tree_export_next(null export)", [&] {
         MorvNodeRecord r;
         return morv_tree_export_next(nullptr, &r, 1) == 0;
       }},
      {"tree_export_next(null records)", [&] {
         MorvTreeExport *e = morv_tree_export_create();
         MorvNodeRecord r;
         const bool refused = morv_tree_export_start(e, &top, 0, 0, 9) && morv_tree_export_next(e, nullptr, 4) == 0 &&
                              morv_tree_export_next(e, &r, 0) == 0 && morv_tree_export_next(e, &r, 1) == 1;  // not advanced
         morv_tree_export_delete(e);
         return refused;
       }},
      {"set_included_ranges(null parser)", [&] { return !morv_parser_set_included_ranges(nullptr, nullptr, 0); }},
      {"set_included_ranges(null ranges, count 3)", [&] { return !morv_parser_set_included_ranges(parser, nullptr, 3); }},
      {"included_ranges(null tree)", [&] {
         MorvRange r;
         return morv_tree_included_ranges(nullptr, &r, 1) == 0;
       }},
      {"parse_utf16(null parser)",
       [&] { return morv_parser_parse_utf16(nullptr, nullptr, u"[1]", 6, nullptr, 0) == nullptr; }},
      {"parse_utf16(null text)", [&] { return morv_parser_parse_utf16(parser, nullptr, nullptr, 6, nullptr, 0) == nullptr; }},
      {"parse_utf16(null text, length 0)", [&] {
         MorvTree *empty = morv_parser_parse_utf16(parser, nullptr, nullptr, 0, nullptr, 0);
         const bool ok = empty != nullptr && sexp(root(empty)) == "(document)";
         morv_tree_delete(empty);
         return ok;
       }},
      {"tree_copy(null)", [&] { return morv_tree_copy(nullptr) == nullptr; }},
      {"changed_ranges(null old)", [&] { MorvRange r[2]; return morv_tree_changed_ranges(nullptr, tree, r, 2) == 0; }},
      {"changed_ranges(null new)", [&] { MorvRange r[2]; return morv_tree_changed_ranges(tree, nullptr, r, 2) == 0; }},
      {"changed_ranges(null ranges)", [&] { return morv_tree_changed_ranges(tree, tree, nullptr, 2) == 0; }},
      {"start_point(null node)", [&] {
         MorvPoint p{7, 7};
         morv_node_start_point(&nullNode, &p);
         return p.row == 0 && p.column == 0;
       }},
      {"end_point(null address)", [&] {
         MorvPoint p{7, 7};
         morv_node_end_point(nullptr, &p);
         return p.row == 0 && p.column == 0;
       }},
      {"start_point(null out)", [&] { morv_node_start_point(&top, nullptr); return true; }},
      {"end_point(null out)", [&] { morv_node_end_point(&top, nullptr); return true; }},
      {"set_match_limit(null cursor)", [&] { morv_cursor_set_match_limit(nullptr, 4); return true; }},
      {"did_exceed_match_limit(null cursor)", [&] { return !morv_cursor_did_exceed_match_limit(nullptr); }},
      {"exec_text(null cursor)", [&] { morv_cursor_exec_text(nullptr, query, &top, u"[1, 2]", 12); return true; }},
      {"next_captures(never run)", [&] {
         MorvCaptureSpan s[2];
         MorvCursor *fresh = morv_cursor_create();
         const bool ok = morv_cursor_next_captures(fresh, s, 2) == 0;
         morv_cursor_delete(fresh);
         return ok;
       }},
      {"next_captures(null cursor)", [&] { MorvCaptureSpan s[2]; return morv_cursor_next_captures(nullptr, s, 2) == 0; }},
      {"next_match_captures(never run)", [&] {
         MorvCaptureSpan s[2];
         MorvCursor *fresh = morv_cursor_create();
         const bool ok = morv_cursor_next_match_captures(fresh, s, 2) == 0;
         morv_cursor_delete(fresh);
         return ok;
       }},
      {"next_match_captures(null cursor)", [&] {
         MorvCaptureSpan s[2];
         return morv_cursor_next_match_captures(nullptr, s, 2) == 0;
       }},
      {"next_match_captures(null spans, capacity 0)", [&] {
         MorvCaptureSpan s[2];
         morv_cursor_exec_text(cursor, query, &top, u"[1, 2]", 12);
         return morv_cursor_next_match_captures(cursor, nullptr, 2) == 0 &&
                morv_cursor_next_match_captures(cursor, s, 0) == 0 &&
                morv_cursor_next_match_captures(cursor, s, 2) == 1 && s[0].start_byte == 2;  // not advanced
       }},
      // A refused run with text ends the earlier run too.
      {"exec_text(null text) then next", [&] {
         MorvCaptureSpan s[2];
         morv_cursor_exec(cursor, query, &top);
         morv_cursor_exec_text(cursor, query, &top, nullptr, 12);
         return morv_cursor_next_captures(cursor, s, 2) == 0;
       }},
      {"exec_text(null query) then next", [&] {
         MorvCaptureSpan s[2];
         morv_cursor_exec(cursor, query, &top);
         morv_cursor_exec_text(cursor, nullptr, &top, u"[1, 2]", 12);
         return morv_cursor_next_captures(cursor, s, 2) == 0;
       }},
      {"exec_text(null node) then next", [&] {
         MorvCaptureSpan s[2];
         morv_cursor_exec(cursor, query, &top);
         morv_cursor_exec_text(cursor, query, &nullNode, u"[1, 2]", 12);
         return morv_cursor_next_captures(cursor, s, 2) == 0;
       }},
      {"next_captures(null spans, capacity 0)", [&] {
         MorvCaptureSpan s[2];
         morv_cursor_exec_text(cursor, query, &top, u"[1, 2]", 12);
         return morv_cursor_next_captures(cursor, nullptr, 2) == 0 && morv_cursor_next_captures(cursor, s, 0) == 0 &&
                morv_cursor_next_captures(cursor, s, 2) == 1 && s[0].start_byte == 2;  // not advanced
       }},
      {"parse(old tree of another language)", [&] {
         MorvParser *python = morv_parser_create();
         morv_parser_set_language(python, tree_sitter_python());
         Document code(u"def f():\n    return [1, 2]\n");
         MorvTree *other = parse(python, code);
         Document again(document.text);
         MorvTree *result = parse(parser, again, other);
         const bool fresh = result != nullptr && sexp(root(result)) == sexp(top);
         morv_tree_delete(result);
         morv_tree_delete(other);
         morv_parser_delete(python);
         return fresh;
       }},
      {"parse(read leaves the count unset)", [&] {
         static const char16_t text[] = u"[1, 2]";
         auto read = [](void *, uint32_t, uint32_t, uint32_t, uint32_t *) -> const void * { return text; };
         MorvTree *result = morv_parser_parse(parser, nullptr, read, nullptr, &Progress::report, nullptr);
         const bool empty = result != nullptr && sexp(root(result)) == "(document)";
         morv_tree_delete(result);
         return empty;
       }},
      {"next_capture(after an edit of the run's tree)", [&] {
         morv_cursor_exec(cursor, query, &top);
         morv_tree_edit(tree, 2, 4, 6, 0, 2, 0, 4, 0, 6);
         return !morv_cursor_next_capture(cursor, &match, &index);
       }},
      {"tree_edit(start after old end)", [&] {
         morv_tree_edit(tree, 8, 2, 10, 0, 8, 0, 2, 0, 10);
         MorvNode edited = root(tree);
         return morv_node_end_byte(&edited) == 10;
       }},
      {"tree_edit(offsets past the text)", [&] {
         morv_tree_edit(tree, 400, 900, 404, 3, 0, 9, 0, 3, 4);
         MorvNode edited = root(tree);
         Document again(u"[1, 2, 3]");
         MorvTree *result = parse(parser, again, tree);
         const bool sound = morv_node_end_byte(&edited) == 404 && result != nullptr &&
                            sexp(root(result)) == "(document (array (number) (number) (number)))";
         morv_tree_delete(result);
         return sound;
       }},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i << ": " << cases[i].call);
    std::memset(&out, 0xab, sizeof out);
    length = 77;
    EXPECT_TRUE(cases[i].failed());
  }
}

// The library consults the progress function about every hundred parse
// operations, so the document needs thousands of tokens for a null function
// to be reached at all.
TEST_F(BridgeBadCall, NullProgressNeverStopsTheParse) {
  std::u16string content = u"[";
  for (int i = 0; i < 3000; ++i) {
    content += u"[1, true], ";
  }
  Document text(content + u"2]");
  Progress counter;
  MorvTree *counted = parse(parser, text, nullptr, &counter);
  ASSERT_NE(counted, nullptr);
  ASSERT_GT(counter.offsets.size(), 10u);  // the document is long enough to be consulted

  MorvTree *whole = morv_parser_parse(parser, nullptr, &Document::read, &text, nullptr, nullptr);
  ASSERT_NE(whole, nullptr);
  MorvNode node = root(whole);
  EXPECT_EQ(sexp(node), sexp(root(counted)));
  EXPECT_EQ(morv_node_end_byte(&node), text.byteSize());
  EXPECT_FALSE(morv_node_has_error(&node));
  morv_tree_delete(whole);
  morv_tree_delete(counted);
}

// Ends the text after `limit` bytes by returning a null pointer.
struct NullAfter {
  static const void *read(void *context, uint32_t byteIndex, uint32_t, uint32_t, uint32_t *bytesRead) {
    auto *self = static_cast<NullAfter *>(context);
    if (byteIndex >= self->limit) {
      *bytesRead = 4096;  // a count that would make the library read through null
      return nullptr;
    }
    *bytesRead = self->limit - byteIndex;
    return reinterpret_cast<const char *>(self->text.data()) + byteIndex;
  }
  std::u16string text;
  uint32_t limit;
};

TEST_F(BridgeBadCall, NullFromReadEndsTheText) {
  NullAfter reader{u"[1, 2][3]", 12};
  Progress quiet;
  MorvTree *cut = morv_parser_parse(parser, nullptr, &NullAfter::read, &reader, &Progress::report, &quiet);
  ASSERT_NE(cut, nullptr);
  MorvNode node = root(cut);
  EXPECT_EQ(morv_node_end_byte(&node), 12u);
  EXPECT_EQ(sexp(node), "(document (array (number) (number)))");
  morv_tree_delete(cut);
}

}  // namespace
