// Node values, navigation, positions and the language functions.
#include <gtest/gtest.h>

#include <memory>

#include "BridgeTestSupport.h"

namespace {

using namespace bridge_test;

class BridgeNode : public ::testing::Test {
 protected:
  void load(std::u16string text) {
    document = std::make_unique<Document>(std::move(text));
    parser = morv_parser_create();
    ASSERT_TRUE(morv_parser_set_language(parser, tree_sitter_json()));
    tree = parse(parser, *document);
    ASSERT_NE(tree, nullptr);
    top = root(tree);
  }

  void TearDown() override {
    morv_tree_delete(tree);
    morv_parser_delete(parser);
  }

  std::string name(const MorvNode &node) const { return symbolName(tree_sitter_json(), node); }

  MorvNode at(const std::u16string &needle) const {
    uint32_t offset = byteOffsetOf(document->text, needle);
    MorvNode out;
    morv_node_descendant_for_byte_range(&top, offset, offset + 2 * uint32_t(needle.size()), &out);
    return out;
  }

  std::unique_ptr<Document> document;
  MorvParser *parser = nullptr;
  MorvTree *tree = nullptr;
  MorvNode top{};
};

TEST_F(BridgeNode, ParentOfRootIsTheNullNode) {
  load(u"[1]");
  MorvNode parent;
  std::memset(&parent, 0xab, sizeof parent);
  morv_node_parent(&top, &parent);
  EXPECT_EQ(parent.id, nullptr);
}

TEST_F(BridgeNode, StartByteCountsUtf16Bytes) {
  // The number begins at the tenth UTF-16 code unit (index 9), byte 18; in
  // UTF-8 it would be byte 13.
  load(u"[\"äöüß\", 1234]");
  MorvNode number = at(u"1234");
  EXPECT_EQ(name(number), "number");
  EXPECT_EQ(morv_node_start_byte(&number), 18u);
  EXPECT_EQ(morv_node_end_byte(&number), 26u);
}

TEST_F(BridgeNode, SurrogatePairsCountAsFourBytes) {
  load(u"[\"😀😀\", 7]");
  MorvNode number = at(u"7");
  EXPECT_EQ(name(number), "number");
  EXPECT_EQ(morv_node_start_byte(&number), 2u * 9u);
  MorvNode string = namedChild(namedChild(top, 0), 0);
  EXPECT_EQ(name(string), "string");
  EXPECT_EQ(morv_node_end_byte(&string) - morv_node_start_byte(&string), 2u * 6u);
}

TEST_F(BridgeNode, ChildrenAndNamedChildren) {
  load(u"[1, true]");
  MorvNode array = child(top, 0);
  EXPECT_EQ(morv_node_child_count(&top), 1u);
  EXPECT_EQ(name(array), "array");
  // "[" 1 "," true "]"
  EXPECT_EQ(morv_node_child_count(&array), 5u);
  EXPECT_EQ(morv_node_named_child_count(&array), 2u);
  const struct {
    uint32_t index;
    bool named;
    const char *symbol;
  } children[] = {{0, false, "["}, {1, true, "number"}, {2, false, ","}, {3, true, "true"}, {4, false, "]"}};
  for (const auto &c : children) {
    SCOPED_TRACE(::testing::Message() << "child " << c.index);
    MorvNode node = child(array, c.index);
    EXPECT_NE(node.id, nullptr);
    EXPECT_EQ(morv_node_is_named(&node), c.named);
    EXPECT_EQ(name(node), c.symbol);
  }
  EXPECT_EQ(name(namedChild(array, 1)), "true");
}

TEST_F(BridgeNode, OutOfRangeChildIsTheNullNode) {
  load(u"[1]");
  MorvNode array = child(top, 0);
  EXPECT_EQ(child(array, 3).id, nullptr);
  EXPECT_EQ(child(array, 0xffffffffu).id, nullptr);
  EXPECT_EQ(namedChild(array, 1).id, nullptr);
}

TEST_F(BridgeNode, SiblingsAndParent) {
  load(u"[1, 2]");
  MorvNode array = child(top, 0);
  MorvNode first = child(array, 0);
  MorvNode last = child(array, 4);
  MorvNode next, prev, parent;
  morv_node_next_sibling(&first, &next);
  EXPECT_EQ(name(next), "number");
  EXPECT_EQ(morv_node_start_byte(&next), 2u);
  morv_node_prev_sibling(&first, &prev);
  EXPECT_EQ(prev.id, nullptr);
  morv_node_next_sibling(&last, &next);
  EXPECT_EQ(next.id, nullptr);
  morv_node_parent(&last, &parent);
  EXPECT_EQ(parent.id, array.id);
  EXPECT_EQ(sexp(parent), sexp(array));
}

TEST_F(BridgeNode, NodesMayLieInUnalignedBuffers) {
  load(u"[1, 2]");
  alignas(8) unsigned char in[40];
  alignas(8) unsigned char out[40];
  std::memcpy(in + 3, &top, sizeof top);
  morv_node_child(in + 3, 0, out + 5);
  MorvNode array;
  std::memcpy(&array, out + 5, sizeof array);
  EXPECT_EQ(name(array), "array");
  EXPECT_EQ(morv_node_child_count(out + 5), 5u);
  EXPECT_EQ(morv_node_end_byte(in + 3), 12u);
}

TEST_F(BridgeNode, ErrorAndMissingFlags) {
  const struct {
    std::u16string text;
    bool hasError;
    const char *sexp;
  } cases[] = {
      {u"[1, 2]", false, "(document (array (number) (number)))"},
      {u"[1, 2", true, "(document (array (number) (number) (MISSING \"]\")))"},
      {u"[1 @ 2]", true, nullptr},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i);
    TearDown();
    load(cases[i].text);
    EXPECT_EQ(morv_node_has_error(&top), cases[i].hasError);
    if (cases[i].sexp != nullptr) {
      EXPECT_EQ(sexp(top), cases[i].sexp);
    }
  }
}

TEST_F(BridgeNode, MissingNodeIsReported) {
  load(u"[1, 2");
  MorvNode array = child(top, 0);
  uint32_t count = morv_node_child_count(&array);
  ASSERT_GT(count, 0u);
  MorvNode last = child(array, count - 1);
  EXPECT_TRUE(morv_node_is_missing(&last));
  EXPECT_FALSE(morv_node_is_error(&last));
  EXPECT_EQ(morv_node_start_byte(&last), morv_node_end_byte(&last));
}

TEST_F(BridgeNode, ErrorNodeIsReported) {
  load(u"[1 @ 2]");
  MorvNode error = at(u"@");
  while (error.id != nullptr && !morv_node_is_error(&error)) {
    MorvNode parent;
    morv_node_parent(&error, &parent);
    error = parent;
  }
  ASSERT_NE(error.id, nullptr);
  EXPECT_TRUE(morv_node_is_error(&error));
  EXPECT_TRUE(morv_node_has_error(&top));
  EXPECT_EQ(morv_node_symbol(&error), 65535u);
  EXPECT_EQ(name(error), "ERROR");
}

TEST_F(BridgeNode, DescendantForByteRange) {
  load(u"{\"key\": [10, 20]}");
  const struct {
    std::u16string needle;
    const char *symbol;
  } cases[] = {{u"20", "number"}, {u"[10, 20]", "array"}, {u"key", "string_content"},
               {u"\"key\": [10, 20]", "pair"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.symbol));
    MorvNode node = at(c.needle);
    EXPECT_EQ(name(node), c.symbol);
    EXPECT_EQ(morv_node_start_byte(&node), byteOffsetOf(document->text, c.needle));
  }
}

TEST_F(BridgeNode, StringIsFreedWithMorvFree) {
  load(u"[null]");
  char *text = morv_node_string(&top);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "(document (array (null)))");
  morv_free(text);
}

TEST(BridgeLanguage, SymbolNames) {
  const TSLanguage *json = tree_sitter_json();
  const struct {
    uint32_t symbol;
    const char *name;
  } cases[] = {
      {65535, "ERROR"},
      {65534, "_ERROR"},
      {65535 + 65536, "ERROR"},  // only the low 16 bits count
      {0, "end"},
      {40000, nullptr},
      {65533, nullptr},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i << ": symbol " << cases[i].symbol);
    const char *name = morv_language_symbol_name(json, cases[i].symbol);
    if (cases[i].name == nullptr) {
      EXPECT_EQ(name, nullptr);
    } else {
      ASSERT_NE(name, nullptr);
      EXPECT_STREQ(name, cases[i].name);
    }
  }
}

TEST(BridgeLanguage, SymbolOfANodeNamesItsType) {
  Document document(u"def f():\n    return 1\n");
  MorvParser *parser = morv_parser_create();
  ASSERT_TRUE(morv_parser_set_language(parser, tree_sitter_python()));
  MorvTree *tree = parse(parser, document);
  ASSERT_NE(tree, nullptr);
  MorvNode module = root(tree);
  EXPECT_EQ(symbolName(tree_sitter_python(), module), "module");
  EXPECT_EQ(symbolName(tree_sitter_python(), namedChild(module, 0)), "function_definition");
  morv_tree_delete(tree);
  morv_parser_delete(parser);
}

}  // namespace
