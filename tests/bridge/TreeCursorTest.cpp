// The tree cursor against the node functions, over every node of real files.
#include <gtest/gtest.h>

#include <algorithm>

#include "StructureTestSupport.h"

namespace {

using namespace bridge_test;

struct RealFile {
  const char *name;
  const TSLanguage *(*language)(void);
  std::string path;  // under the grammars directory, or absolute
  bool inGrammars;
};

std::vector<RealFile> realFiles() {
  return {
      {"javascript grammar", tree_sitter_javascript, "tree-sitter-javascript/grammar.js", true},
      {"java grammar (javascript)", tree_sitter_javascript, "tree-sitter-java/grammar.js", true},
      {"java probe", tree_sitter_java, std::string(MORV_SOURCE_DIR) + "/tests/e2e/linux/probe/probe/Main.java",
       false},
      {"java probe helper", tree_sitter_java,
       std::string(MORV_SOURCE_DIR) + "/tests/e2e/linux/probe/probe/helper/Helper.java", false},
      {"json lockfile", tree_sitter_json, std::string(MORV_SOURCE_DIR) + "/third_party/package-lock.json", false},
      {"html with scripts", tree_sitter_html, std::string(MORV_SOURCE_DIR) + "/tests/bridge/fixtures/page.html",
       false},
  };
}

std::u16string load(const RealFile &file) {
  const std::string text = file.inGrammars ? grammarFile(file.path) : readFile(file.path);
  EXPECT_GT(text.size(), 200u) << file.path << " is missing or small";
  return widen(text);
}

std::string fieldName(const TSLanguage *language, uint16_t id) {
  const char *name = morv_language_field_name(language, id);
  return name != nullptr ? name : "";
}

// The same walk as walkByIndex, made with the cursor alone; last_child and
// previous_sibling are checked against the children met going forwards.
void walkByCursor(MorvTreeCursor *cursor, const TSLanguage *language, std::vector<Visit> &out) {
  MorvNode node;
  morv_tree_cursor_current_node(cursor, &node);
  out.push_back({node, morv_tree_cursor_current_depth(cursor),
                 fieldName(language, morv_tree_cursor_current_field_id(cursor))});
  if (!morv_tree_cursor_goto_first_child(cursor)) {
    return;
  }
  std::vector<MorvNode> children;
  do {
    MorvNode child;
    morv_tree_cursor_current_node(cursor, &child);
    children.push_back(child);
    walkByCursor(cursor, language, out);
  } while (morv_tree_cursor_goto_next_sibling(cursor));
  ASSERT_TRUE(morv_tree_cursor_goto_parent(cursor));

  if (children.size() > 1) {
    TreeCursorPtr back(morv_tree_cursor_copy(cursor));
    ASSERT_TRUE(morv_tree_cursor_goto_last_child(back.get()));
    for (size_t i = children.size(); i-- > 0;) {
      MorvNode child;
      morv_tree_cursor_current_node(back.get(), &child);
      ASSERT_TRUE(sameNode(child, children[i])) << "child " << i << " going backwards";
      ASSERT_EQ(morv_tree_cursor_goto_previous_sibling(back.get()), i > 0);
    }
  }
}

TEST(BridgeTreeCursor, VisitsTheNodesOfTheNodeFunctionsWithTheirFields) {
  for (const RealFile &file : realFiles()) {
    SCOPED_TRACE(file.name);
    ParserPtr parser = parserFor(file.language());
    TreePtr tree = parseText(parser.get(), load(file));
    ASSERT_NE(tree, nullptr);
    MorvNode top = root(tree.get());
    ASSERT_FALSE(morv_node_has_error(&top));

    std::vector<Visit> expected;
    walkByIndex(top, 0, "", expected);
    std::vector<Visit> actual;
    TreeCursorPtr cursor(morv_tree_cursor_create(&top));
    ASSERT_NE(cursor, nullptr);
    walkByCursor(cursor.get(), file.language(), actual);

    ASSERT_EQ(actual.size(), expected.size());
    size_t withField = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE(::testing::Message() << "node " << i);
      ASSERT_TRUE(sameNode(actual[i].node, expected[i].node));
      ASSERT_TRUE(morv_node_eq(&actual[i].node, &expected[i].node));
      EXPECT_EQ(actual[i].depth, expected[i].depth);
      EXPECT_EQ(actual[i].field, expected[i].field);
      withField += !expected[i].field.empty();
    }
    EXPECT_EQ(morv_node_descendant_count(&top), expected.size());
    // Back at its root, the cursor cannot leave it.
    MorvNode at;
    morv_tree_cursor_current_node(cursor.get(), &at);
    EXPECT_TRUE(sameNode(at, top));
    EXPECT_FALSE(morv_tree_cursor_goto_parent(cursor.get()));
    EXPECT_FALSE(morv_tree_cursor_goto_next_sibling(cursor.get()));
    if (file.language() != tree_sitter_json() && file.language() != tree_sitter_html()) {
      EXPECT_GT(withField, expected.size() / 20) << "a real file holds many fields";
    }
  }
}

// child_by_field_id gives the first child that holds the field.
TEST(BridgeTreeCursor, ChildByFieldIdIsTheFirstChildWithTheField) {
  for (const RealFile &file : realFiles()) {
    SCOPED_TRACE(file.name);
    const TSLanguage *language = file.language();
    ParserPtr parser = parserFor(language);
    TreePtr tree = parseText(parser.get(), load(file));
    std::vector<Visit> nodes;
    walkByIndex(root(tree.get()), 0, "", nodes);
    for (const Visit &visit : nodes) {
      const uint32_t count = morv_node_child_count(&visit.node);
      for (uint32_t id = 1; id <= morv_language_field_count(language); ++id) {
        const std::string name = morv_language_field_name(language, id);
        MorvNode expected{};
        for (uint32_t i = 0; i < count; ++i) {
          const char *field = morv_node_field_name_for_child(&visit.node, i);
          if (field != nullptr && name == field) {
            morv_node_child(&visit.node, i, &expected);
            break;
          }
        }
        MorvNode actual;
        morv_node_child_by_field_id(&visit.node, id, &actual);
        ASSERT_TRUE(sameNode(actual, expected)) << "field " << name;
      }
    }
  }
}

TEST(BridgeTreeCursor, FirstChildForByteAgreesWithTheNodeFunction) {
  ParserPtr parser = parserFor(tree_sitter_java());
  const RealFile file = realFiles()[2];
  const std::u16string text = load(file);
  TreePtr tree = parseText(parser.get(), text);
  std::vector<Visit> nodes;
  walkByIndex(root(tree.get()), 0, "", nodes);
  for (size_t n = 0; n < nodes.size(); n += 7) {
    const MorvNode &node = nodes[n].node;
    const uint32_t start = morv_node_start_byte(&node), end = morv_node_end_byte(&node);
    for (uint32_t byte : {start, (start + end) / 2 & ~1u, end > start ? end - 2 : end, end}) {
      SCOPED_TRACE(::testing::Message() << "node " << n << " byte " << byte);
      TreeCursorPtr cursor(morv_tree_cursor_create(&node));
      const int64_t index = morv_tree_cursor_goto_first_child_for_byte(cursor.get(), byte);
      MorvNode expected, viaIndex, at;
      morv_node_first_child_for_byte(&node, byte, &expected);
      morv_tree_cursor_current_node(cursor.get(), &at);
      if (expected.id == nullptr) {
        EXPECT_EQ(index, -1);
        EXPECT_TRUE(sameNode(at, node)) << "stays in place";
        continue;
      }
      ASSERT_GE(index, 0);
      morv_node_child(&node, uint32_t(index), &viaIndex);
      EXPECT_TRUE(sameNode(at, expected));
      EXPECT_TRUE(sameNode(viaIndex, expected));
      EXPECT_GT(morv_node_end_byte(&expected), byte);
      MorvNode named;
      morv_node_first_named_child_for_byte(&node, byte, &named);
      if (named.id != nullptr) {
        EXPECT_TRUE(morv_node_is_named(&named));
        EXPECT_GT(morv_node_end_byte(&named), byte);
      }
    }
  }
}

TEST(BridgeTreeCursor, CopyResetAndDepthAreIndependentOfTheOriginal) {
  ParserPtr parser = parserFor(tree_sitter_json());
  TreePtr tree = parseText(parser.get(), u"{\"a\": [1, [2, 3]], \"b\": null}");
  TreePtr other = parseText(parser.get(), u"[true]");
  MorvNode top = root(tree.get());
  TreeCursorPtr cursor(morv_tree_cursor_create(&top));
  // document > object > pair ("a") > value array
  ASSERT_TRUE(morv_tree_cursor_goto_first_child(cursor.get()));
  ASSERT_TRUE(morv_tree_cursor_goto_first_child(cursor.get()));  // "{"
  ASSERT_TRUE(morv_tree_cursor_goto_next_sibling(cursor.get()));  // pair
  ASSERT_TRUE(morv_tree_cursor_goto_last_child(cursor.get()));    // array
  EXPECT_EQ(morv_tree_cursor_current_depth(cursor.get()), 3u);
  EXPECT_EQ(fieldName(tree_sitter_json(), morv_tree_cursor_current_field_id(cursor.get())), "value");

  TreeCursorPtr copy(morv_tree_cursor_copy(cursor.get()));
  ASSERT_TRUE(morv_tree_cursor_goto_parent(cursor.get()));
  ASSERT_TRUE(morv_tree_cursor_goto_parent(cursor.get()));
  MorvNode copied;
  morv_tree_cursor_current_node(copy.get(), &copied);
  EXPECT_EQ(symbolName(tree_sitter_json(), copied), "array");
  EXPECT_EQ(morv_tree_cursor_current_depth(copy.get()), 3u);
  // The copy keeps the path: it climbs to the same root.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(morv_tree_cursor_goto_parent(copy.get()));
  EXPECT_FALSE(morv_tree_cursor_goto_parent(copy.get()));
  morv_tree_cursor_current_node(copy.get(), &copied);
  EXPECT_TRUE(sameNode(copied, top));

  // A reset to a node of another tree makes that node the root.
  MorvNode otherArray = child(root(other.get()), 0);
  ASSERT_TRUE(morv_tree_cursor_reset(cursor.get(), &otherArray));
  EXPECT_EQ(morv_tree_cursor_current_depth(cursor.get()), 0u);
  EXPECT_EQ(morv_tree_cursor_current_field_id(cursor.get()), 0u);
  EXPECT_FALSE(morv_tree_cursor_goto_parent(cursor.get()));
  ASSERT_TRUE(morv_tree_cursor_goto_first_child(cursor.get()));
  EXPECT_EQ(morv_tree_cursor_goto_first_child_for_byte(cursor.get(), 0), -1) << "a leaf";
  MorvNode bracket;
  morv_tree_cursor_current_node(cursor.get(), &bracket);
  EXPECT_EQ(symbolName(tree_sitter_json(), bracket), "[");
}

// Every field of the Java grammar: name and id both ways, and the names are
// exactly those that the grammar's own node-types.json lists.
TEST(BridgeFields, EveryFieldOfTheJavaGrammar) {
  const TSLanguage *java = tree_sitter_java();
  const uint32_t count = morv_language_field_count(java);
  ASSERT_GT(count, 30u);
  std::vector<std::string> names;
  for (uint32_t id = 1; id <= count; ++id) {
    const char *name = morv_language_field_name(java, id);
    ASSERT_NE(name, nullptr) << id;
    names.push_back(name);
    EXPECT_EQ(morv_language_field_id(java, name, uint32_t(std::strlen(name))), id) << name;
    // A name that merely starts like a field, or is cut short, is no field.
    const std::string longer = std::string(name) + "x";
    EXPECT_EQ(morv_language_field_id(java, longer.data(), uint32_t(longer.size())), 0u) << longer;
    EXPECT_NE(morv_language_field_id(java, name, uint32_t(std::strlen(name)) - 1), id) << name;
  }
  EXPECT_EQ(morv_language_field_name(java, 0), nullptr);
  EXPECT_EQ(morv_language_field_name(java, count + 1), nullptr);
  EXPECT_EQ(morv_language_field_id(java, "no_such_field", 13), 0u);
  // A NUL inside the given length is part of the name, which no field has.
  const char withNul[] = "body\0zzzzzzzzzzzzzzzzzzzzzzzz";
  EXPECT_EQ(morv_language_field_id(java, withNul, sizeof withNul - 1), 0u);
  EXPECT_EQ(morv_language_field_id(java, "", 0), 0u);

  // node-types.json, read with the bridge's own JSON parse: every "fields"
  // object's keys.
  const std::u16string types = widen(grammarFile("tree-sitter-java/src/node-types.json"));
  ParserPtr parser = parserFor(tree_sitter_json());
  TreePtr tree = parseText(parser.get(), types);
  ASSERT_NE(tree, nullptr);
  const uint16_t key = morv_language_field_id(tree_sitter_json(), "key", 3);
  const uint16_t value = morv_language_field_id(tree_sitter_json(), "value", 5);
  ASSERT_NE(key, 0u);
  ASSERT_NE(value, 0u);
  auto text = [&](const MorvNode &n) {
    const uint32_t start = morv_node_start_byte(&n) / 2, end = morv_node_end_byte(&n) / 2;
    return std::string(types.begin() + start, types.begin() + end);
  };
  std::vector<std::string> listed;
  std::vector<Visit> nodes;
  walkByIndex(root(tree.get()), 0, "", nodes);
  for (const Visit &visit : nodes) {
    if (symbolName(tree_sitter_json(), visit.node) != "pair") continue;
    MorvNode k, v;
    morv_node_child_by_field_id(&visit.node, key, &k);
    morv_node_child_by_field_id(&visit.node, value, &v);
    if (text(k) != "\"fields\"") continue;
    for (uint32_t i = 0; i < morv_node_named_child_count(&v); ++i) {
      MorvNode pair = namedChild(v, i), fieldKey;
      morv_node_child_by_field_id(&pair, key, &fieldKey);
      const std::string quoted = text(fieldKey);
      listed.push_back(quoted.substr(1, quoted.size() - 2));
    }
  }
  std::sort(names.begin(), names.end());
  std::sort(listed.begin(), listed.end());
  listed.erase(std::unique(listed.begin(), listed.end()), listed.end());
  EXPECT_EQ(names, listed);
}

TEST(BridgeSymbols, NamesMapToTheSymbolsThatNodesCarry) {
  const struct {
    const char *name;
    const TSLanguage *(*language)(void);
  } grammars[] = {{"json", tree_sitter_json}, {"java", tree_sitter_java}, {"javascript", tree_sitter_javascript}};
  for (const auto &g : grammars) {
    SCOPED_TRACE(g.name);
    const TSLanguage *language = g.language();
    const uint32_t count = morv_language_symbol_count(language);
    ASSERT_GT(count, 10u);
    uint32_t regular = 0, anonymous = 0;
    for (uint32_t symbol = 0; symbol < count; ++symbol) {
      const int32_t type = morv_language_symbol_type(language, symbol);
      ASSERT_GE(type, 0) << symbol;
      ASSERT_LE(type, MorvSymbolTypeAuxiliary) << symbol;
      if (type != MorvSymbolTypeRegular && type != MorvSymbolTypeAnonymous) continue;
      const bool named = type == MorvSymbolTypeRegular;
      (named ? regular : anonymous)++;
      const char *name = morv_language_symbol_name(language, symbol);
      const uint16_t found = morv_language_symbol_for_name(language, name, uint32_t(std::strlen(name)), named);
      // Symbols of equal name and kind share one public symbol.
      EXPECT_STREQ(morv_language_symbol_name(language, found), name) << symbol;
      EXPECT_EQ(morv_language_symbol_type(language, found), type) << symbol;
    }
    EXPECT_GT(regular, 0u);
    EXPECT_GT(anonymous, 0u);
    EXPECT_EQ(morv_language_symbol_type(language, 65535), MorvSymbolTypeRegular);
    EXPECT_EQ(morv_language_symbol_type(language, count), -1);
    EXPECT_EQ(morv_language_symbol_type(language, 65534), MorvSymbolTypeAuxiliary);
  }
  const TSLanguage *json = tree_sitter_json();
  const struct {
    const char *name;
    uint32_t length;
    bool named;
    std::string expected;  // symbol name; empty for symbol 0
  } cases[] = {
      {"ERROR", 5, true, "ERROR"},
      {"ERROR", 5, false, ""},
      {"E", 1, true, ""},  // a prefix of ERROR is not ERROR
      {"", 0, true, ""},
      {"number", 6, true, "number"},
      {"number", 6, false, ""},
      {"numbers", 6, true, "number"},  // only the given length counts
      {"numb", 4, true, ""},
      {"[", 1, false, "["},
      {"[", 1, true, ""},
      {"pair\0xxxxxxxxxxxxxxxxxxxxxxxxxxx", 32, true, ""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i << ": " << cases[i].name);
    const uint16_t symbol = morv_language_symbol_for_name(json, cases[i].name, cases[i].length, cases[i].named);
    if (cases[i].expected.empty()) {
      EXPECT_EQ(symbol, 0u);
    } else {
      EXPECT_STREQ(morv_language_symbol_name(json, symbol), cases[i].expected.c_str());
    }
  }
}

// The rest of the node helpers, on a JSON document with an error and an
// alias-free grammar (so the grammar symbol equals the symbol).
TEST(BridgeNodeHelpers, DescendantsEqualityAndParseState) {
  ParserPtr parser = parserFor(tree_sitter_json());
  const std::u16string text = u"{\"a\": [10, 20], \"b\": {\"c\": 30}}";
  TreePtr tree = parseText(parser.get(), text);
  TreePtr again = parseText(parser.get(), text);
  MorvNode top = root(tree.get());
  const uint32_t at20 = byteOffsetOf(text, u"20");
  MorvNode named, any;
  morv_node_named_descendant_for_byte_range(&top, at20, at20 + 4, &named);
  morv_node_descendant_for_byte_range(&top, at20, at20 + 4, &any);
  EXPECT_EQ(symbolName(tree_sitter_json(), named), "number");
  EXPECT_TRUE(morv_node_eq(&named, &any));
  // The comma before 20 has no named node smaller than the array.
  morv_node_named_descendant_for_byte_range(&top, at20 - 4, at20 - 2, &named);
  EXPECT_EQ(symbolName(tree_sitter_json(), named), "array");
  morv_node_descendant_for_byte_range(&top, at20 - 4, at20 - 2, &any);
  EXPECT_EQ(symbolName(tree_sitter_json(), any), ",");
  EXPECT_FALSE(morv_node_eq(&named, &any)) << "the comma is smaller";

  MorvNode object = child(top, 0);
  EXPECT_EQ(morv_node_descendant_count(&object), morv_node_descendant_count(&top) - 1);
  MorvNode leaf = child(object, 0);
  EXPECT_EQ(morv_node_descendant_count(&leaf), 1u);

  // Equal text, other tree: not the same node.
  MorvNode otherTop = root(again.get());
  EXPECT_TRUE(morv_node_eq(&top, &top));
  EXPECT_FALSE(morv_node_eq(&top, &otherTop));
  EXPECT_FALSE(morv_node_eq(&top, &object));

  std::vector<Visit> nodes;
  walkByIndex(top, 0, "", nodes);
  for (const Visit &visit : nodes) {
    EXPECT_EQ(morv_node_grammar_symbol(&visit.node), morv_node_symbol(&visit.node));
    EXPECT_FALSE(morv_node_is_extra(&visit.node));
  }
  EXPECT_NE(morv_node_parse_state(&leaf), 0u) << "a token is shifted in a real state";
}

TEST(BridgeNodeHelpers, GrammarSymbolSeesThroughAliases) {
  // Java aliases identifiers as type_identifier in type positions.
  ParserPtr parser = parserFor(tree_sitter_java());
  TreePtr tree = parseText(parser.get(), u"class A { B b; }\n");
  std::vector<Visit> nodes;
  walkByIndex(root(tree.get()), 0, "", nodes);
  size_t aliased = 0;
  for (const Visit &visit : nodes) {
    if (symbolName(tree_sitter_java(), visit.node) != "type_identifier") continue;
    ++aliased;
    EXPECT_NE(morv_node_grammar_symbol(&visit.node), morv_node_symbol(&visit.node));
    EXPECT_STREQ(morv_language_symbol_name(tree_sitter_java(), morv_node_grammar_symbol(&visit.node)), "identifier");
  }
  EXPECT_EQ(aliased, 1u) << "B";
}

TEST(BridgeNodeHelpers, CommentsAreExtras) {
  ParserPtr parser = parserFor(tree_sitter_javascript());
  TreePtr tree = parseText(parser.get(), u"a(/* x */ 1);\n");
  std::vector<Visit> nodes;
  walkByIndex(root(tree.get()), 0, "", nodes);
  for (const Visit &visit : nodes) {
    EXPECT_EQ(morv_node_is_extra(&visit.node), symbolName(tree_sitter_javascript(), visit.node) == "comment");
  }
}

}  // namespace
