// What keeps memory alive under the caller's objects: the grammar's library
// while trees and queries of it live, and the subtrees that a capture run
// walks while the caller edits the tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BridgeTestSupport.h"
#include "GrammarLoader.h"

extern "C" const TSLanguage *tree_sitter_javascript(void);

namespace {

using namespace bridge_test;

struct Capture {
  uint32_t start;
  uint32_t end;
  uint32_t index;
  bool operator==(const Capture &o) const {
    return start == o.start && end == o.end && index == o.index;
  }
};

std::vector<Capture> allCaptures(MorvCursor *cursor) {
  std::vector<Capture> out;
  MorvQueryMatch match;
  uint32_t index = 0;
  while (morv_cursor_next_capture(cursor, &match, &index)) {
    const MorvQueryCapture &c = match.captures[index];
    out.push_back({morv_node_start_byte(&c.node), morv_node_end_byte(&c.node), c.index});
  }
  return out;
}

MorvQuery *compile(const TSLanguage *language, const std::string &source) {
  uint32_t offset = 0, type = 0;
  return morv_query_new(language, source.data(), static_cast<uint32_t>(source.size()), &offset,
                        &type);
}

// Every node of the subtree, in pre-order: symbol and byte span.
void collect(const MorvNode &node, std::vector<uint32_t> &out) {
  out.push_back(morv_node_symbol(&node));
  out.push_back(morv_node_start_byte(&node));
  out.push_back(morv_node_end_byte(&node));
  for (uint32_t i = 0, n = morv_node_child_count(&node); i < n; ++i) {
    collect(child(node, i), out);
  }
}

// The grammar library is loaded by path, as the editor's runtime loads it,
// and the caller's handle is closed while a tree, a query and a cursor run of
// it are alive. Everything must go on working on the language's tables and
// its lexer code, and the library must still be mapped.
TEST(BridgeLifetime, GrammarStaysLoadedAfterTheCallerClosesIt) {
  LoadedGrammar grammar(MORV_LOADABLE_GRAMMAR, "python");
  ASSERT_NE(grammar.language(), nullptr) << MORV_LOADABLE_GRAMMAR;
  const TSLanguage *language = grammar.language();

  MorvParser *parser = morv_parser_create();
  ASSERT_TRUE(morv_parser_set_language(parser, language));
  // Strings and indentation go through the grammar's external scanner.
  Document document(u"def f(x):\n    return \"\"\"doc\"\"\" + x\n\nclass C:\n    pass\n");
  MorvTree *tree = parse(parser, document);
  ASSERT_NE(tree, nullptr);
  MorvQuery *query = compile(language, "(identifier) @name (string) @text");
  ASSERT_NE(query, nullptr);
  MorvCursor *cursor = morv_cursor_create();
  MorvNode top = root(tree);
  morv_cursor_exec(cursor, query, &top);
  MorvQueryMatch match;
  uint32_t index = 0;
  ASSERT_TRUE(morv_cursor_next_capture(cursor, &match, &index));
  const std::string expected = sexp(top);

  grammar.close();
  EXPECT_TRUE(grammar.isMapped());

  EXPECT_EQ(sexp(top), expected);
  EXPECT_STREQ(morv_language_symbol_name(language, morv_node_symbol(&top)), "module");
  std::vector<Capture> rest = allCaptures(cursor);
  // identifiers f, x, x, C and the one string, the first already taken.
  EXPECT_EQ(rest.size(), 4u);
  morv_cursor_exec(cursor, query, &top);
  EXPECT_EQ(allCaptures(cursor).size(), 5u);
  // A new parse runs the grammar's lexer and scanner code.
  Document again(document.text + u"x = '''a'''\n");
  MorvTree *second = parse(parser, again);
  ASSERT_NE(second, nullptr);
  MorvNode secondRoot = root(second);
  EXPECT_FALSE(morv_node_has_error(&secondRoot));
  EXPECT_EQ(morv_node_end_byte(&secondRoot), again.byteSize());

  morv_tree_delete(second);
  morv_cursor_delete(cursor);
  morv_query_delete(query);
  morv_tree_delete(tree);
  morv_parser_delete(parser);
}

// A query compiled first pins the library as well.
TEST(BridgeLifetime, QueryAlonePinsTheGrammar) {
  LoadedGrammar grammar(MORV_LOADABLE_GRAMMAR, "python");
  ASSERT_NE(grammar.language(), nullptr);
  MorvQuery *query = compile(grammar.language(), "(identifier) @name");
  ASSERT_NE(query, nullptr);
  grammar.close();
  EXPECT_TRUE(grammar.isMapped());
  uint32_t length = 0;
  const char *name = morv_query_capture_name(query, 0, &length);
  EXPECT_EQ(std::string(name, length), "name");
  morv_query_delete(query);
}

// A language in no library at all (built in memory) is used as it is.
TEST(BridgeLifetime, LanguageOutsideAnyLibraryIsUsedAsItIs) {
  PatchedLanguage copy(15);
  MorvParser *parser = morv_parser_create();
  EXPECT_TRUE(morv_parser_set_language(parser, copy.get()));
  Document document(u"x = 1\n");
  MorvTree *tree = parse(parser, document);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(sexp(root(tree)),
            "(module (expression_statement (assignment left: (identifier) right: (integer))))");
  morv_tree_delete(tree);
  morv_parser_delete(parser);
}

// An edit of the tree under a run ends the run. The run's subtrees may be
// shared with an older tree, the only holder of them once the edit has given
// the edited tree copies of its own; that older tree may then be deleted
// while the run goes on.
TEST(BridgeLifetime, EditUnderARunEndsIt) {
  const struct {
    const char *name;
    bool deleteOlder;
    bool fromRoot;
  } cases[] = {
      {"edit", false, true},
      {"edit, then the tree sharing the subtrees deleted", true, true},
      {"run over an inner node, tree sharing the subtrees deleted", true, false},
  };
  const std::u16string before = u"[1, [2, 3], {\"a\": [4, 5, 6]}, 7, [8, [9, 10]]]";
  std::u16string after = before;
  after.replace(1, 1, u"11");  // "[11, [2, 3], ..."
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    MorvParser *parser = morv_parser_create();
    ASSERT_TRUE(morv_parser_set_language(parser, tree_sitter_json()));
    Document first(before);
    MorvTree *older = parse(parser, first);
    ASSERT_NE(older, nullptr);
    Document same(before);
    MorvTree *tree = parse(parser, same, older);  // shares its subtrees with `older`
    ASSERT_NE(tree, nullptr);

    MorvQuery *query = compile(tree_sitter_json(), "(number) @n");
    MorvCursor *cursor = morv_cursor_create();
    MorvNode top = root(tree);
    MorvNode start = c.fromRoot ? top : namedChild(top, 0);
    morv_cursor_exec(cursor, query, &start);
    MorvQueryMatch match;
    uint32_t index = 0;
    ASSERT_TRUE(morv_cursor_next_capture(cursor, &match, &index));
    ASSERT_TRUE(morv_cursor_next_capture(cursor, &match, &index));
    EXPECT_EQ(morv_node_start_byte(&match.captures[index].node), 10u);  // "2"

    morv_tree_edit(tree, 2, 4, 6, 0, 2, 0, 4, 0, 6);
    if (c.deleteOlder) {
      morv_tree_delete(older);
      older = nullptr;
    }
    EXPECT_FALSE(morv_cursor_next_capture(cursor, &match, &index));
    EXPECT_FALSE(morv_cursor_next_capture(cursor, &match, &index));

    // A new run over the re-parsed tree reports what a fresh tree has.
    Document edited(after);
    MorvTree *reparsed = parse(parser, edited, tree);
    ASSERT_NE(reparsed, nullptr);
    Document fresh(after);
    MorvTree *freshTree = parse(parser, fresh);
    MorvNode reparsedRoot = root(reparsed);
    morv_cursor_exec(cursor, query, &reparsedRoot);
    std::vector<Capture> incremental = allCaptures(cursor);
    MorvNode freshRoot = root(freshTree);
    morv_cursor_exec(cursor, query, &freshRoot);
    EXPECT_EQ(incremental, allCaptures(cursor));
    EXPECT_EQ(incremental.size(), 10u);

    morv_cursor_delete(cursor);
    morv_query_delete(query);
    morv_tree_delete(freshTree);
    morv_tree_delete(reparsed);
    morv_tree_delete(tree);
    morv_tree_delete(older);
    morv_parser_delete(parser);
  }
}

// A run over a tree that nobody edits goes on as before, also across an edit
// of another tree that shares its subtrees.
TEST(BridgeLifetime, EditOfAnotherTreeLeavesTheRunAlone) {
  const std::u16string text = u"[1, [2, 3], 4]";
  MorvParser *parser = morv_parser_create();
  ASSERT_TRUE(morv_parser_set_language(parser, tree_sitter_json()));
  Document first(text);
  MorvTree *older = parse(parser, first);
  Document same(text);
  MorvTree *tree = parse(parser, same, older);
  MorvQuery *query = compile(tree_sitter_json(), "(number) @n");
  MorvCursor *cursor = morv_cursor_create();
  MorvNode top = root(tree);
  morv_cursor_exec(cursor, query, &top);
  MorvQueryMatch match;
  uint32_t index = 0;
  ASSERT_TRUE(morv_cursor_next_capture(cursor, &match, &index));
  morv_tree_edit(older, 2, 2, 4, 0, 2, 0, 2, 0, 4);
  morv_tree_delete(older);
  std::vector<Capture> rest = allCaptures(cursor);
  EXPECT_EQ(rest, (std::vector<Capture>{{10, 12, 0}, {16, 18, 0}, {24, 26, 0}}));
  morv_cursor_delete(cursor);
  morv_query_delete(query);
  morv_tree_delete(tree);
  morv_parser_delete(parser);
}

}  // namespace
