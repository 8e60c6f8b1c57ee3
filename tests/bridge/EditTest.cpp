// Edits that do not fit the tree or themselves: the bridge widens them to a
// change of the whole text, so the tree stays sound and the next parse that
// reuses it gives the tree of a fresh parse.
// The library's own header first: the bridge header then leaves TSLanguage to it.
#include <tree_sitter/api.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BridgeTestSupport.h"

namespace {

using namespace bridge_test;

TSNode libraryNode(const MorvNode &node) {
  TSNode out;
  std::memcpy(&out, &node, sizeof out);
  return out;
}

// Symbol, bytes and points of every node in pre-order, checking on the way
// that each node lies inside its parent and ends after it starts.
void describe(TSNode node, std::vector<uint32_t> &out) {
  const TSPoint start = ts_node_start_point(node), end = ts_node_end_point(node);
  out.insert(out.end(), {ts_node_symbol(node), ts_node_start_byte(node), ts_node_end_byte(node),
                         start.row, start.column, end.row, end.column});
  EXPECT_LE(ts_node_start_byte(node), ts_node_end_byte(node));
  for (uint32_t i = 0, n = ts_node_child_count(node); i < n; ++i) {
    TSNode child = ts_node_child(node, i);
    EXPECT_GE(ts_node_start_byte(child), ts_node_start_byte(node));
    EXPECT_LE(ts_node_end_byte(child), ts_node_end_byte(node));
    describe(child, out);
  }
}

std::vector<uint32_t> describe(const MorvTree *tree) {
  std::vector<uint32_t> out;
  describe(libraryNode(root(tree)), out);
  return out;
}

struct Edit {
  uint32_t start, oldEnd, newEnd;
  TSPoint startPoint, oldEndPoint, newEndPoint;
};

void apply(MorvTree *tree, const Edit &e) {
  morv_tree_edit(tree, e.start, e.oldEnd, e.newEnd, e.startPoint.row, e.startPoint.column,
                 e.oldEndPoint.row, e.oldEndPoint.column, e.newEndPoint.row,
                 e.newEndPoint.column);
}

// 54 bytes in four rows; the text ends at row 3, byte column 24.
const std::u16string kBefore = u"[1,\n 2,\n \"ab\",\n {\"k\": [3]}]";

TEST(BridgeEdit, IncoherentEditKeepsTheTreeSoundAndTheReparseExact) {
  const uint32_t kMax = UINT32_MAX;
  const struct {
    const char *name;
    Edit edit;
    std::u16string after;
  } cases[] = {
      {"start after old end", {10, 4, 12, {1, 2}, {0, 4}, {1, 6}}, u"[1,\n 22,\n \"ab\",\n {\"k\": [3]}]"},
      {"start after new end", {10, 12, 6, {1, 2}, {1, 4}, {0, 6}}, u"[1,\n \"ab\",\n {\"k\": [3]}]"},
      {"old end past the text", {18, 500, 22, {2, 2}, {9, 0}, {2, 6}}, u"[1,\n 2,\n 5]"},
      {"start past the text", {1000, 1000, 1004, {40, 0}, {40, 0}, {40, 4}}, kBefore + u"\n"},
      {"every offset at the maximum", {kMax, kMax, kMax, {kMax, kMax}, {kMax, kMax}, {kMax, kMax}}, kBefore},
      {"new text past 4 GiB", {2, 4, 0xfffffff0u, {0, 2}, {0, 4}, {0, 6}}, u"[7,\n 2,\n \"ab\",\n {\"k\": [3]}]"},
      {"old end point before start point", {8, 10, 12, {1, 2}, {0, 0}, {1, 6}}, u"[1,\n 23,\n \"ab\",\n {\"k\": [3]}]"},
      {"old end point past the text", {50, 52, 52, {3, 20}, {9, 0}, {3, 22}}, u"[1,\n 2,\n \"ab\",\n {\"k\": [4]}]"},
      {"new end point before start point", {8, 8, 10, {1, 2}, {1, 2}, {0, 0}}, u"[1,\n 92,\n \"ab\",\n {\"k\": [3]}]"},
      {"old end one byte past the text", {52, 55, 54, {3, 22}, {3, 25}, {3, 24}}, u"[1,\n 2,\n \"ab\",\n {\"k\": [3]},]"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i << ": " << cases[i].name);
    MorvParser *parser = morv_parser_create();
    ASSERT_TRUE(morv_parser_set_language(parser, tree_sitter_json()));
    Document before(kBefore);
    MorvTree *tree = parse(parser, before);
    ASSERT_NE(tree, nullptr);

    apply(tree, cases[i].edit);
    // The edited tree can be walked; the whole old text counts as replaced by
    // text that ends at the new end.
    MorvNode edited = root(tree);
    EXPECT_FALSE(sexp(edited).empty());
    EXPECT_EQ(morv_node_end_byte(&edited), cases[i].edit.newEnd);
    describe(tree);

    Document after(cases[i].after, 6);
    MorvTree *incremental = parse(parser, after, tree);
    ASSERT_NE(incremental, nullptr);
    Document freshText(cases[i].after);
    MorvTree *fresh = parse(parser, freshText);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(sexp(root(incremental)), sexp(root(fresh)));
    EXPECT_EQ(describe(incremental), describe(fresh));

    morv_tree_delete(fresh);
    morv_tree_delete(incremental);
    morv_tree_delete(tree);
    morv_parser_delete(parser);
  }
}

// A coherent edit reaches the library as it is: the nodes before it are
// reused unchanged, and those after it move by the change.
TEST(BridgeEdit, CoherentEditKeepsItsOffsets) {
  MorvParser *parser = morv_parser_create();
  ASSERT_TRUE(morv_parser_set_language(parser, tree_sitter_json()));
  Document before(kBefore);
  MorvTree *tree = parse(parser, before);
  ASSERT_NE(tree, nullptr);
  // "2" becomes "22" at row 1.
  apply(tree, {10, 12, 14, {1, 2}, {1, 4}, {1, 6}});
  MorvNode top = root(tree);
  EXPECT_EQ(morv_node_end_byte(&top), 56u);
  const TSNode array = ts_node_named_child(libraryNode(top), 0);
  const TSNode first = ts_node_named_child(array, 0);
  const TSNode last = ts_node_named_child(array, 3);
  EXPECT_EQ(ts_node_start_byte(first), 2u);
  EXPECT_EQ(ts_node_start_byte(last), 34u);
  EXPECT_EQ(ts_node_start_point(last).row, 3u);
  EXPECT_EQ(ts_node_start_point(last).column, 2u);
  morv_tree_delete(tree);
  morv_parser_delete(parser);
}

}  // namespace
