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
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i << ": " << cases[i].call);
    std::memset(&out, 0xab, sizeof out);
    length = 77;
    EXPECT_TRUE(cases[i].failed());
  }
}

TEST_F(BridgeBadCall, NullProgressNeverStopsTheParse) {
  Document text(u"[" + std::u16string(3000, u'1') + u", 2]");
  MorvTree *whole = morv_parser_parse(parser, nullptr, &Document::read, &text, nullptr, nullptr);
  ASSERT_NE(whole, nullptr);
  MorvNode node = root(whole);
  EXPECT_EQ(sexp(node), "(document (array (number) (number)))");
  morv_tree_delete(whole);
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
