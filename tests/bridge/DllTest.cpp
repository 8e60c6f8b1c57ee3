// morv-ts.dll as the editor meets it: loaded by name at run time, every
// export looked up with GetProcAddress, and the main paths run through the
// looked-up functions against a grammar DLL loaded the same way.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "morv_ts.h"

namespace {

const char *const kExports[] = {
    "morv_parser_create", "morv_parser_delete", "morv_parser_set_language", "morv_parser_reset",
    "morv_parser_parse", "morv_tree_delete", "morv_tree_root", "morv_tree_edit",
    "morv_language_abi_version", "morv_language_symbol_name", "morv_free", "morv_node_child",
    "morv_node_child_count", "morv_node_named_child", "morv_node_named_child_count",
    "morv_node_parent", "morv_node_next_sibling", "morv_node_prev_sibling",
    "morv_node_descendant_for_byte_range", "morv_node_start_byte", "morv_node_end_byte",
    "morv_node_symbol", "morv_node_is_named", "morv_node_is_missing", "morv_node_is_error",
    "morv_node_has_error", "morv_node_string", "morv_query_new", "morv_query_delete",
    "morv_query_pattern_count", "morv_query_capture_count", "morv_query_string_count",
    "morv_query_capture_name", "morv_query_string_value", "morv_query_predicates",
    "morv_cursor_create", "morv_cursor_delete", "morv_cursor_set_byte_range", "morv_cursor_exec",
    "morv_cursor_next_capture", "morv_tree_cursor_create", "morv_tree_cursor_delete",
    "morv_tree_cursor_reset", "morv_tree_cursor_copy", "morv_tree_cursor_current_node",
    "morv_tree_cursor_current_field_id", "morv_tree_cursor_current_depth",
    "morv_tree_cursor_goto_first_child", "morv_tree_cursor_goto_last_child",
    "morv_tree_cursor_goto_next_sibling", "morv_tree_cursor_goto_previous_sibling",
    "morv_tree_cursor_goto_parent", "morv_tree_cursor_goto_first_child_for_byte",
    "morv_language_field_count", "morv_language_field_name", "morv_language_field_id",
    "morv_language_symbol_count", "morv_language_symbol_for_name", "morv_language_symbol_type",
    "morv_node_child_by_field_id", "morv_node_field_name_for_child", "morv_node_descendant_count",
    "morv_node_named_descendant_for_byte_range", "morv_node_first_child_for_byte",
    "morv_node_first_named_child_for_byte", "morv_node_eq", "morv_node_grammar_symbol",
    "morv_node_parse_state", "morv_node_is_extra", "morv_tree_export_create",
    "morv_tree_export_delete", "morv_tree_export_start", "morv_tree_export_next",
    "morv_parser_set_included_ranges", "morv_tree_included_ranges",
    "morv_parser_parse_utf16", "morv_tree_copy",
    "morv_tree_changed_ranges", "morv_node_start_point", "morv_node_end_point",
    "morv_cursor_set_match_limit", "morv_cursor_did_exceed_match_limit", "morv_cursor_exec_text",
    "morv_cursor_next_captures",
    "morv_cursor_next_match_captures",
};

class BridgeDll : public ::testing::Test {
 protected:
  void SetUp() override {
    bridge = LoadLibraryW(L"morv-ts.dll");
    ASSERT_NE(bridge, nullptr) << "LoadLibraryW failed: " << GetLastError();
    grammar = LoadLibraryW(L"tree-sitter-json.dll");
    ASSERT_NE(grammar, nullptr) << "LoadLibraryW failed: " << GetLastError();
    auto entry = reinterpret_cast<const TSLanguage *(*)(void)>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(grammar, "tree_sitter_json")));
    ASSERT_NE(entry, nullptr);
    json = entry();
  }

  void TearDown() override {
    if (grammar != nullptr) FreeLibrary(grammar);
    if (bridge != nullptr) FreeLibrary(bridge);
  }

  template <typename F>
  F *get(const char *name) {
    FARPROC address = GetProcAddress(bridge, name);
    EXPECT_NE(address, nullptr) << name;
    return reinterpret_cast<F *>(reinterpret_cast<void (*)(void)>(address));
  }

  HMODULE bridge = nullptr;
  HMODULE grammar = nullptr;
  const TSLanguage *json = nullptr;
};

// The header's prototype gives the type; its import-library symbol is never
// referenced, so the DLL is only reached through GetProcAddress.
#define MORV_GET(name) auto name = get<decltype(::name)>(#name)

TEST_F(BridgeDll, EveryExportIsFoundByName) {
  for (const char *name : kExports) {
    SCOPED_TRACE(name);
    EXPECT_NE(GetProcAddress(bridge, name), nullptr);
  }
  // Nothing of the library inside leaks out.
  EXPECT_EQ(GetProcAddress(bridge, "ts_parser_new"), nullptr);
  EXPECT_EQ(GetProcAddress(bridge, "ts_current_free"), nullptr);
  EXPECT_EQ(GetProcAddress(bridge, "pcre2_compile_16"), nullptr);
}

struct Text {
  std::u16string text;
  static const void *read(void *context, uint32_t byteIndex, uint32_t, uint32_t, uint32_t *bytesRead) {
    auto *self = static_cast<Text *>(context);
    const uint32_t size = uint32_t(self->text.size() * 2);
    *bytesRead = byteIndex < size ? (size - byteIndex < 6 ? size - byteIndex : 6) : 0;
    return reinterpret_cast<const char *>(self->text.data()) + (byteIndex < size ? byteIndex : 0);
  }
};

bool never(void *, uint32_t) { return false; }

TEST_F(BridgeDll, MainPathsThroughLookedUpFunctions) {
  MORV_GET(morv_parser_create);
  MORV_GET(morv_parser_delete);
  MORV_GET(morv_parser_set_language);
  MORV_GET(morv_parser_parse);
  MORV_GET(morv_tree_delete);
  MORV_GET(morv_tree_root);
  MORV_GET(morv_tree_edit);
  MORV_GET(morv_language_abi_version);
  MORV_GET(morv_language_symbol_name);
  MORV_GET(morv_free);
  MORV_GET(morv_node_child);
  MORV_GET(morv_node_child_count);
  MORV_GET(morv_node_named_child);
  MORV_GET(morv_node_start_byte);
  MORV_GET(morv_node_end_byte);
  MORV_GET(morv_node_symbol);
  MORV_GET(morv_node_string);
  MORV_GET(morv_query_new);
  MORV_GET(morv_query_delete);
  MORV_GET(morv_query_capture_name);
  MORV_GET(morv_cursor_create);
  MORV_GET(morv_cursor_delete);
  MORV_GET(morv_cursor_exec);
  MORV_GET(morv_cursor_next_capture);

  EXPECT_EQ(morv_language_abi_version(json), 14u);
  MorvParser *parser = morv_parser_create();
  ASSERT_TRUE(morv_parser_set_language(parser, json));
  Text before{u"{\"ä\": [1, 2]}"};
  MorvTree *tree = morv_parser_parse(parser, nullptr, &Text::read, &before, &never, nullptr);
  ASSERT_NE(tree, nullptr);

  MorvNode root, object, pair;
  morv_tree_root(tree, &root);
  morv_node_child(&root, 0, &object);
  morv_node_named_child(&object, 0, &pair);
  EXPECT_STREQ(morv_language_symbol_name(json, morv_node_symbol(&pair)), "pair");
  EXPECT_EQ(morv_node_child_count(&object), 3u);
  EXPECT_EQ(morv_node_start_byte(&pair), 2u);
  char *text = morv_node_string(&root);
  EXPECT_STREQ(text, "(document (object (pair key: (string (string_content)) value: (array (number) (number)))))");
  morv_free(text);

  // "2" becomes "2, 3": inserted at UTF-16 byte 22.
  Text after{u"{\"ä\": [1, 2, 3]}"};
  morv_tree_edit(tree, 22, 22, 28, 0, 22, 0, 22, 0, 28);
  MorvTree *edited = morv_parser_parse(parser, tree, &Text::read, &after, &never, nullptr);
  ASSERT_NE(edited, nullptr);
  MorvNode editedRoot;
  morv_tree_root(edited, &editedRoot);
  EXPECT_EQ(morv_node_end_byte(&editedRoot), 32u);

  const char source[] = "(number) @n";
  uint32_t offset = 0, type = 99;
  MorvQuery *query = morv_query_new(json, source, sizeof source - 1, &offset, &type);
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(type, 0u);
  MorvCursor *cursor = morv_cursor_create();
  morv_cursor_exec(cursor, query, &editedRoot);
  MorvQueryMatch match;
  uint32_t index = 0;
  std::string starts;
  while (morv_cursor_next_capture(cursor, &match, &index)) {
    uint32_t length = 0;
    const char *name = morv_query_capture_name(query, match.captures[index].index, &length);
    starts += std::string(name, length) + std::to_string(morv_node_start_byte(&match.captures[index].node)) + " ";
  }
  EXPECT_EQ(starts, "n14 n20 n26 ");

  morv_cursor_delete(cursor);
  morv_query_delete(query);
  morv_tree_delete(edited);
  morv_tree_delete(tree);
  morv_parser_delete(parser);
}

// The structure exports: a cursor walk with fields, the bulk export in small
// batches, and a parse of one included range.
TEST_F(BridgeDll, StructureThroughLookedUpFunctions) {
  MORV_GET(morv_parser_create);
  MORV_GET(morv_parser_delete);
  MORV_GET(morv_parser_set_language);
  MORV_GET(morv_parser_parse);
  MORV_GET(morv_parser_set_included_ranges);
  MORV_GET(morv_tree_included_ranges);
  MORV_GET(morv_tree_delete);
  MORV_GET(morv_tree_root);
  MORV_GET(morv_tree_cursor_create);
  MORV_GET(morv_tree_cursor_delete);
  MORV_GET(morv_tree_cursor_goto_first_child);
  MORV_GET(morv_tree_cursor_goto_next_sibling);
  MORV_GET(morv_tree_cursor_goto_parent);
  MORV_GET(morv_tree_cursor_current_field_id);
  MORV_GET(morv_tree_cursor_current_depth);
  MORV_GET(morv_language_field_name);
  MORV_GET(morv_language_field_id);
  MORV_GET(morv_language_symbol_for_name);
  MORV_GET(morv_node_child_by_field_id);
  MORV_GET(morv_node_named_child);
  MORV_GET(morv_node_start_byte);
  MORV_GET(morv_node_descendant_count);
  MORV_GET(morv_node_string);
  MORV_GET(morv_free);
  MORV_GET(morv_tree_export_create);
  MORV_GET(morv_tree_export_delete);
  MORV_GET(morv_tree_export_start);
  MORV_GET(morv_tree_export_next);

  MorvParser *parser = morv_parser_create();
  ASSERT_TRUE(morv_parser_set_language(parser, json));
  Text text{u"{\"a\": [1, 2], \"b\": 3}"};
  MorvTree *tree = morv_parser_parse(parser, nullptr, &Text::read, &text, &never, nullptr);
  ASSERT_NE(tree, nullptr);
  MorvNode root;
  morv_tree_root(tree, &root);

  // Pre-order with the cursor: the field names met, with their depths.
  std::string fields;
  MorvTreeCursor *cursor = morv_tree_cursor_create(&root);
  uint32_t visited = 0;
  for (bool more = true; more;) {
    ++visited;
    if (const char *name = morv_language_field_name(json, morv_tree_cursor_current_field_id(cursor))) {
      fields += std::string(name) + std::to_string(morv_tree_cursor_current_depth(cursor)) + " ";
    }
    if (morv_tree_cursor_goto_first_child(cursor)) continue;
    while (!morv_tree_cursor_goto_next_sibling(cursor)) {
      if (!morv_tree_cursor_goto_parent(cursor)) {
        more = false;
        break;
      }
    }
  }
  morv_tree_cursor_delete(cursor);
  EXPECT_EQ(fields, "key3 value3 key3 value3 ");
  EXPECT_EQ(visited, morv_node_descendant_count(&root));

  MorvTreeExport *run = morv_tree_export_create();
  ASSERT_TRUE(morv_tree_export_start(run, &root, 0, 0, UINT32_MAX));
  MorvNodeRecord records[4];
  uint32_t total = 0, batch = 0, numbers = 0;
  const uint16_t number = morv_language_symbol_for_name(json, "number", 6, true);
  while ((batch = morv_tree_export_next(run, records, 4)) != 0) {
    for (uint32_t i = 0; i < batch; ++i) numbers += records[i].symbol == number;
    total += batch;
  }
  morv_tree_export_delete(run);
  EXPECT_EQ(total, visited);
  EXPECT_EQ(numbers, 3u);

  // Only the array is read: the parse sees "[1, 2]" at its document offsets.
  MorvRange range = {{0, 12}, {0, 24}, 12, 24};
  ASSERT_TRUE(morv_parser_set_included_ranges(parser, &range, 1));
  MorvTree *part = morv_parser_parse(parser, nullptr, &Text::read, &text, &never, nullptr);
  ASSERT_NE(part, nullptr);
  MorvRange back{};
  EXPECT_EQ(morv_tree_included_ranges(part, &back, 1), 1u);
  EXPECT_EQ(back.end_byte, 24u);
  MorvNode partRoot;
  morv_tree_root(part, &partRoot);
  EXPECT_EQ(morv_node_start_byte(&partRoot), 12u);
  char *sexp = morv_node_string(&partRoot);
  EXPECT_STREQ(sexp, "(document (array (number) (number)))");
  morv_free(sexp);
  MorvNode object, pair, value;
  morv_node_named_child(&root, 0, &object);
  morv_node_named_child(&object, 0, &pair);
  morv_node_child_by_field_id(&pair, morv_language_field_id(json, "value", 5), &value);
  EXPECT_EQ(morv_node_start_byte(&value), 12u);

  morv_tree_delete(part);
  morv_tree_delete(tree);
  morv_parser_delete(parser);
}

// The hot path: a buffer parse, an edit and its changed ranges, and spans
// filtered by a regular-expression predicate (PCRE2 linked into the DLL).
TEST_F(BridgeDll, HotPathThroughLookedUpFunctions) {
  MORV_GET(morv_parser_create);
  MORV_GET(morv_parser_delete);
  MORV_GET(morv_parser_set_language);
  MORV_GET(morv_parser_parse_utf16);
  MORV_GET(morv_tree_delete);
  MORV_GET(morv_tree_root);
  MORV_GET(morv_tree_edit);
  MORV_GET(morv_tree_copy);
  MORV_GET(morv_tree_changed_ranges);
  MORV_GET(morv_node_end_point);
  MORV_GET(morv_query_new);
  MORV_GET(morv_query_delete);
  MORV_GET(morv_cursor_create);
  MORV_GET(morv_cursor_delete);
  MORV_GET(morv_cursor_set_match_limit);
  MORV_GET(morv_cursor_did_exceed_match_limit);
  MORV_GET(morv_cursor_exec_text);
  MORV_GET(morv_cursor_next_captures);
  MORV_GET(morv_cursor_next_match_captures);

  MorvParser *parser = morv_parser_create();
  ASSERT_TRUE(morv_parser_set_language(parser, json));
  const std::u16string before = u"[\"ab\", \"xa\",\n \"a\u00e4\"]";
  MorvTree *tree = morv_parser_parse_utf16(parser, nullptr, before.data(), uint32_t(before.size() * 2), nullptr, 0);
  ASSERT_NE(tree, nullptr);
  MorvNode root;
  morv_tree_root(tree, &root);
  MorvPoint end{9, 9};
  morv_node_end_point(&root, &end);
  EXPECT_EQ(end.row, 1u);
  EXPECT_EQ(end.column, 12u);

  // The string "xa" becomes the number 1: the array's second element changes.
  const std::u16string after = u"[\"ab\", 1,\n \"a\u00e4\"]";
  MorvTree *copy = morv_tree_copy(tree);
  ASSERT_NE(copy, nullptr);
  morv_tree_edit(tree, 14, 22, 16, 0, 14, 0, 22, 0, 16);
  const volatile uint32_t flag = 0;
  MorvTree *edited = morv_parser_parse_utf16(parser, tree, after.data(), uint32_t(after.size() * 2), &flag, 1000000);
  ASSERT_NE(edited, nullptr);
  MorvRange ranges[4];
  ASSERT_EQ(morv_tree_changed_ranges(tree, edited, ranges, 4), 1u);
  EXPECT_EQ(ranges[0].start_byte, 14u);
  EXPECT_EQ(ranges[0].end_byte, 16u);

  // Strings that start with "a", in the unedited copy's text.
  const char source[] = "((string_content) @s (#match? @s \"^a\"))";
  uint32_t offset = 0, type = 99;
  MorvQuery *query = morv_query_new(json, source, sizeof source - 1, &offset, &type);
  ASSERT_NE(query, nullptr);
  MorvCursor *cursor = morv_cursor_create();
  morv_cursor_set_match_limit(cursor, 16);
  MorvNode copyRoot;
  morv_tree_root(copy, &copyRoot);
  morv_cursor_exec_text(cursor, query, &copyRoot, before.data(), uint32_t(before.size() * 2));
  MorvCaptureSpan spans[8];
  ASSERT_EQ(morv_cursor_next_captures(cursor, spans, 8), 2u);
  EXPECT_EQ(spans[0].start_byte, 4u);
  EXPECT_EQ(spans[1].start_byte, 30u);
  EXPECT_EQ(morv_cursor_next_captures(cursor, spans, 8), 0u);
  EXPECT_FALSE(morv_cursor_did_exceed_match_limit(cursor));
  morv_cursor_exec_text(cursor, query, &copyRoot, before.data(), uint32_t(before.size() * 2));
  ASSERT_EQ(morv_cursor_next_match_captures(cursor, spans, 8), 2u);
  EXPECT_EQ(spans[0].start_byte, 4u);
  EXPECT_EQ(spans[1].start_byte, 30u);
  EXPECT_EQ(morv_cursor_next_match_captures(cursor, spans, 8), 0u);

  morv_cursor_delete(cursor);
  morv_query_delete(query);
  morv_tree_delete(edited);
  morv_tree_delete(copy);
  morv_tree_delete(tree);
  morv_parser_delete(parser);
}

}  // namespace
