// Query compilation, its tables and predicates, and capture cursors.
// The library's own header first: the bridge header then leaves TSLanguage to it.
#include <tree_sitter/api.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <tuple>

#include "BridgeTestSupport.h"

extern "C" {
const TSLanguage *tree_sitter_javascript(void);
const TSLanguage *tree_sitter_java(void);
}

namespace {

using namespace bridge_test;

struct Compiled {
  MorvQuery *query;
  uint32_t errorOffset;
  uint32_t errorType;
};

Compiled compile(const TSLanguage *language, const std::string &source) {
  Compiled result{nullptr, 0xdeadbeef, 0xdeadbeef};
  result.query = morv_query_new(language, source.data(), static_cast<uint32_t>(source.size()),
                                &result.errorOffset, &result.errorType);
  return result;
}

std::string captureName(const MorvQuery *query, uint32_t id) {
  uint32_t length = 0;
  const char *name = morv_query_capture_name(query, id, &length);
  return std::string(name, length);
}

std::string stringValue(const MorvQuery *query, uint32_t id) {
  uint32_t length = 0;
  const char *value = morv_query_string_value(query, id, &length);
  return std::string(value, length);
}

TEST(BridgeQuery, CompiledQueryStoresErrorNone) {
  Compiled c = compile(tree_sitter_json(), "(number) @num");
  ASSERT_NE(c.query, nullptr);
  EXPECT_EQ(c.errorType, 0u);
  morv_query_delete(c.query);
}

TEST(BridgeQuery, ErrorsCarryTypeAndOffset) {
  PatchedLanguage future(16);
  const struct {
    const TSLanguage *language;
    std::string source;
    uint32_t type;
    uint32_t offset;
  } cases[] = {
      {tree_sitter_json(), "(array", MorvQueryErrorSyntax, 6},
      {tree_sitter_json(), "(number) @n )", MorvQueryErrorSyntax, 12},
      {tree_sitter_json(), "(number) (no_such_node)", MorvQueryErrorNodeType, 10},
      {tree_sitter_json(), "(pair nokey: (string))", MorvQueryErrorField, 6},
      {tree_sitter_json(), "((number) @n (#eq? @m \"1\"))", MorvQueryErrorCapture, 20},
      {tree_sitter_json(), "(array (pair))", MorvQueryErrorStructure, 7},
      {future.get(), "(number)", MorvQueryErrorLanguage, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i << ": " << cases[i].source);
    Compiled c = compile(cases[i].language, cases[i].source);
    EXPECT_EQ(c.query, nullptr);
    EXPECT_EQ(c.errorType, cases[i].type);
    EXPECT_LE(c.errorOffset, cases[i].source.size());
    EXPECT_EQ(c.errorOffset, cases[i].offset);
  }
}

TEST(BridgeQuery, SourceNeedsNoTerminator) {
  // Only the first 8 bytes are the query; the rest would not compile.
  const char source[] = {'(', 'n', 'u', 'm', 'b', 'e', 'r', ')', '(', '(', '('};
  uint32_t offset = 0, type = 99;
  MorvQuery *query = morv_query_new(tree_sitter_json(), source, 8, &offset, &type);
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(morv_query_pattern_count(query), 1u);
  morv_query_delete(query);
}

TEST(BridgeQuery, TablesOfCapturesAndStrings) {
  Compiled c = compile(tree_sitter_json(),
                       "(number) @num\n"
                       "((string) @str (#eq? @str \"\\\"x\\\"\"))\n"
                       "(pair key: (_) @key (#match? @key \"^k\") (#set! kind \"pair\"))\n");
  ASSERT_NE(c.query, nullptr) << "error " << c.errorType << " at " << c.errorOffset;
  EXPECT_EQ(morv_query_pattern_count(c.query), 3u);
  EXPECT_EQ(morv_query_capture_count(c.query), 3u);
  const char *captures[] = {"num", "str", "key"};
  for (uint32_t id = 0; id < 3; ++id) {
    SCOPED_TRACE(::testing::Message() << "capture " << id);
    EXPECT_EQ(captureName(c.query, id), captures[id]);
  }
  EXPECT_EQ(captureName(c.query, 0x10002), "key") << "only the low 16 bits count";

  std::vector<std::string> strings;
  for (uint32_t id = 0; id < morv_query_string_count(c.query); ++id) {
    strings.push_back(stringValue(c.query, id));
  }
  const std::vector<std::string> expected = {"eq?", "\"x\"", "match?", "^k", "set!", "kind", "pair"};
  EXPECT_EQ(strings, expected);
  morv_query_delete(c.query);
}

TEST(BridgeQuery, PredicateSteps) {
  Compiled c = compile(tree_sitter_json(),
                       "(number) @num\n"
                       "((string) @str (#eq? @str \"x\") (#not-eq? @str @str))\n");
  ASSERT_NE(c.query, nullptr);
  uint32_t count = 99;
  EXPECT_EQ(morv_query_predicates(c.query, 0, &count), nullptr);
  EXPECT_EQ(count, 0u);

  const MorvPredicateStep *steps = morv_query_predicates(c.query, 1, &count);
  ASSERT_NE(steps, nullptr);
  const struct {
    uint32_t type;
    std::string value;
  } expected[] = {
      {MorvPredicateStepString, "eq?"}, {MorvPredicateStepCapture, "str"},
      {MorvPredicateStepString, "x"},   {MorvPredicateStepDone, ""},
      {MorvPredicateStepString, "not-eq?"}, {MorvPredicateStepCapture, "str"},
      {MorvPredicateStepCapture, "str"},    {MorvPredicateStepDone, ""},
  };
  ASSERT_EQ(count, std::size(expected));
  for (uint32_t i = 0; i < count; ++i) {
    SCOPED_TRACE(::testing::Message() << "step " << i);
    EXPECT_EQ(steps[i].type, expected[i].type);
    if (steps[i].type == MorvPredicateStepString) {
      EXPECT_EQ(stringValue(c.query, steps[i].value_id), expected[i].value);
    } else if (steps[i].type == MorvPredicateStepCapture) {
      EXPECT_EQ(captureName(c.query, steps[i].value_id), expected[i].value);
    }
  }
  morv_query_delete(c.query);
}

class BridgeCursor : public ::testing::Test {
 protected:
  void SetUp() override {
    document = std::make_unique<Document>(u"{\"a\": [1, 2], \"bb\": {\"c\": 3}, \"d\": \"äö\"}");
    parser = morv_parser_create();
    ASSERT_TRUE(morv_parser_set_language(parser, tree_sitter_json()));
    tree = parse(parser, *document);
    ASSERT_NE(tree, nullptr);
    top = root(tree);
    Compiled c = compile(tree_sitter_json(),
                         "(pair key: (string) @key)\n"
                         "(number) @number\n");
    ASSERT_NE(c.query, nullptr);
    query = c.query;
    cursor = morv_cursor_create();
    ASSERT_NE(cursor, nullptr);
  }

  void TearDown() override {
    morv_cursor_delete(cursor);
    morv_query_delete(query);
    morv_tree_delete(tree);
    morv_parser_delete(parser);
  }

  // "<capture name>:<UTF-16 start byte>" for every capture of one run.
  std::vector<std::string> run(const void *node) {
    morv_cursor_exec(cursor, query, node);
    return drain();
  }

  std::vector<std::string> drain() {
    std::vector<std::string> result;
    MorvQueryMatch match;
    uint32_t index = 0;
    while (morv_cursor_next_capture(cursor, &match, &index)) {
      EXPECT_LT(index, match.capture_count);
      const MorvQueryCapture &capture = match.captures[index];
      result.push_back(captureName(query, capture.index) + ":" +
                       std::to_string(morv_node_start_byte(&capture.node)));
    }
    return result;
  }

  uint32_t at(const std::u16string &needle) const { return byteOffsetOf(document->text, needle); }
  std::string key(const char16_t *needle) { return "key:" + std::to_string(at(needle)); }
  std::string number(const char16_t *needle) { return "number:" + std::to_string(at(needle)); }

  std::unique_ptr<Document> document;
  MorvParser *parser = nullptr;
  MorvTree *tree = nullptr;
  MorvQuery *query = nullptr;
  MorvCursor *cursor = nullptr;
  MorvNode top{};
};

TEST_F(BridgeCursor, CapturesComeInDocumentOrder) {
  const std::vector<std::string> expected = {key(u"\"a\""),  number(u"1"), number(u"2"),
                                             key(u"\"bb\""), key(u"\"c\""), number(u"3"),
                                             key(u"\"d\"")};
  EXPECT_EQ(run(&top), expected);
}

TEST_F(BridgeCursor, MatchRecordDescribesThePattern) {
  morv_cursor_exec(cursor, query, &top);
  MorvQueryMatch match;
  uint32_t index = 7;
  ASSERT_TRUE(morv_cursor_next_capture(cursor, &match, &index));
  EXPECT_EQ(match.pattern_index, 0u);
  EXPECT_EQ(match.capture_count, 1u);
  EXPECT_EQ(index, 0u);
  ASSERT_NE(match.captures, nullptr);
  EXPECT_EQ(match.captures[0].index, 0u);
  EXPECT_EQ(symbolName(tree_sitter_json(), match.captures[0].node), "string");
  ASSERT_TRUE(morv_cursor_next_capture(cursor, &match, &index));
  EXPECT_EQ(match.pattern_index, 1u);
}

TEST_F(BridgeCursor, FalseAfterLastCaptureAndExecStartsOver) {
  std::vector<std::string> first = run(&top);
  ASSERT_EQ(first.size(), 7u);
  MorvQueryMatch match;
  uint32_t index = 0;
  EXPECT_FALSE(morv_cursor_next_capture(cursor, &match, &index));
  EXPECT_EQ(run(&top), first);
}

TEST_F(BridgeCursor, ExecDiscardsARunHalfWay) {
  morv_cursor_exec(cursor, query, &top);
  MorvQueryMatch match;
  uint32_t index = 0;
  ASSERT_TRUE(morv_cursor_next_capture(cursor, &match, &index));
  ASSERT_TRUE(morv_cursor_next_capture(cursor, &match, &index));
  EXPECT_EQ(run(&top).size(), 7u);
}

TEST_F(BridgeCursor, RunOverASubtree) {
  MorvNode inner;
  uint32_t start = at(u"{\"c\"");
  morv_node_descendant_for_byte_range(&top, start, start + 2, &inner);
  MorvNode object;
  morv_node_parent(&inner, &object);
  ASSERT_EQ(symbolName(tree_sitter_json(), object), "object");
  const std::vector<std::string> expected = {key(u"\"c\""), number(u"3")};
  EXPECT_EQ(run(&object), expected);
}

TEST_F(BridgeCursor, ByteRangeLimitsTheCaptures) {
  const uint32_t bb = at(u"\"bb\"");
  const struct {
    uint32_t start;
    uint32_t end;
    bool accepted;
    std::vector<std::string> expected;
  } cases[] = {
      {0, 0, true, {key(u"\"a\""), number(u"1"), number(u"2"), key(u"\"bb\""), key(u"\"c\""),
                    number(u"3"), key(u"\"d\"")}},
      {bb, 0, true, {key(u"\"bb\""), key(u"\"c\""), number(u"3"), key(u"\"d\"")}},
      {0, at(u"2"), true, {key(u"\"a\""), number(u"1")}},
      {at(u"2"), at(u"3"), true, {number(u"2"), key(u"\"bb\""), key(u"\"c\"")}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i << ": " << cases[i].start << ".."
                                      << cases[i].end);
    EXPECT_EQ(morv_cursor_set_byte_range(cursor, cases[i].start, cases[i].end), cases[i].accepted);
    EXPECT_EQ(run(&top), cases[i].expected);
  }
}

TEST_F(BridgeCursor, EndZeroMeansNoLimitAndStartAfterEndIsRefused) {
  EXPECT_TRUE(morv_cursor_set_byte_range(cursor, 5, 0));
  EXPECT_TRUE(morv_cursor_set_byte_range(cursor, at(u"\"bb\""), 0));
  const std::vector<std::string> limited = run(&top);
  ASSERT_EQ(limited.size(), 4u);
  EXPECT_FALSE(morv_cursor_set_byte_range(cursor, 10, 5));
  EXPECT_EQ(run(&top), limited) << "the earlier range stays in force";
}

TEST_F(BridgeCursor, NewCursorHasNoLimit) {
  EXPECT_EQ(run(&top).size(), 7u);
}

TEST(BridgeCursorLifetime, CursorsShareOneQuery) {
  Document document(u"[1, [2, [3]]]");
  MorvParser *parser = morv_parser_create();
  ASSERT_TRUE(morv_parser_set_language(parser, tree_sitter_json()));
  MorvTree *tree = parse(parser, document);
  MorvNode node = root(tree);
  Compiled c = compile(tree_sitter_json(), "(number) @n");
  ASSERT_NE(c.query, nullptr);
  MorvCursor *a = morv_cursor_create();
  MorvCursor *b = morv_cursor_create();
  morv_cursor_exec(a, c.query, &node);
  morv_cursor_exec(b, c.query, &node);
  MorvQueryMatch ma, mb;
  uint32_t ia = 0, ib = 0;
  int count = 0;
  while (morv_cursor_next_capture(a, &ma, &ia)) {
    ASSERT_TRUE(morv_cursor_next_capture(b, &mb, &ib));
    EXPECT_EQ(morv_node_start_byte(&ma.captures[ia].node), morv_node_start_byte(&mb.captures[ib].node));
    ++count;
  }
  EXPECT_FALSE(morv_cursor_next_capture(b, &mb, &ib));
  EXPECT_EQ(count, 3);
  morv_cursor_delete(a);
  morv_cursor_delete(b);
  morv_query_delete(c.query);
  morv_tree_delete(tree);
  morv_parser_delete(parser);
}

// (start byte, end byte, capture id, pattern index) of every capture.
using Capture = std::tuple<uint32_t, uint32_t, uint32_t, uint16_t>;

std::vector<Capture> bridgeCaptures(const TSLanguage *language, const std::u16string &text,
                                    const std::string &source) {
  std::vector<Capture> result;
  Document document(text, 7);
  MorvParser *parser = morv_parser_create();
  EXPECT_TRUE(morv_parser_set_language(parser, language));
  MorvTree *tree = parse(parser, document);
  uint32_t offset = 0, type = 99;
  MorvQuery *query = morv_query_new(language, source.data(), uint32_t(source.size()), &offset, &type);
  EXPECT_NE(query, nullptr) << "error " << type << " at " << offset;
  if (tree != nullptr && query != nullptr) {
    MorvCursor *cursor = morv_cursor_create();
    MorvNode node = root(tree);
    morv_cursor_exec(cursor, query, &node);
    MorvQueryMatch match;
    uint32_t index = 0;
    while (morv_cursor_next_capture(cursor, &match, &index)) {
      const MorvQueryCapture &c = match.captures[index];
      result.emplace_back(morv_node_start_byte(&c.node), morv_node_end_byte(&c.node), c.index,
                          match.pattern_index);
    }
    morv_cursor_delete(cursor);
  }
  morv_query_delete(query);
  morv_tree_delete(tree);
  morv_parser_delete(parser);
  return result;
}

std::vector<Capture> libraryCaptures(const TSLanguage *language, const std::u16string &text,
                                     const std::string &source) {
  std::vector<Capture> result;
  TSParser *parser = ts_parser_new();
  ts_parser_set_language(parser, language);
  TSTree *tree = ts_parser_parse_string_encoding(parser, nullptr, reinterpret_cast<const char *>(text.data()),
                                                 uint32_t(text.size() * 2), TSInputEncodingUTF16LE);
  uint32_t offset = 0;
  TSQueryError error = TSQueryErrorNone;
  TSQuery *query = ts_query_new(language, source.data(), uint32_t(source.size()), &offset, &error);
  if (tree != nullptr && query != nullptr) {
    TSQueryCursor *cursor = ts_query_cursor_new();
    ts_query_cursor_exec(cursor, query, ts_tree_root_node(tree));
    TSQueryMatch match;
    uint32_t index = 0;
    while (ts_query_cursor_next_capture(cursor, &match, &index)) {
      const TSQueryCapture &c = match.captures[index];
      result.emplace_back(ts_node_start_byte(c.node), ts_node_end_byte(c.node), c.index, match.pattern_index);
    }
    ts_query_cursor_delete(cursor);
  }
  ts_query_delete(query);
  ts_tree_delete(tree);
  ts_parser_delete(parser);
  return result;
}

std::string highlights(const char *grammar) {
  std::ifstream in(std::string(MORV_GRAMMARS_DIR) + "/tree-sitter-" + grammar + "/queries/highlights.scm",
                   std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

TEST(BridgeHighlights, EveryGrammarsQueryRunsAsInTheLibrary) {
  const struct {
    const char *grammar;
    const TSLanguage *language;
    std::u16string text;
  } cases[] = {
      {"json", tree_sitter_json(), u"{\"ä\": [1, true, null], \"b\": {\"c\": \"😀\"}}"},
      {"javascript", tree_sitter_javascript(),
       u"// ä\nclass A extends B {\n  m(x) { return `${x}😀` + 1; }\n}\nconst f = async (y) => y?.z ?? null;\n"},
      {"python", tree_sitter_python(),
       u"import os\n@decorator\ndef f(a: int = 1) -> str:\n    \"\"\"ä\"\"\"\n    return f\"{a}😀\" if a else None\n"},
      {"java", tree_sitter_java(),
       u"package p;\n/** ä */\n@Deprecated\npublic class A<T> {\n  static final int X = 0x1F;\n"
       u"  void m(String s) { System.out.println(s + \"😀\"); }\n}\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.grammar);
    const std::string source = highlights(c.grammar);
    ASSERT_FALSE(source.empty()) << "highlights.scm not found";
    const std::vector<Capture> bridge = bridgeCaptures(c.language, c.text, source);
    EXPECT_GT(bridge.size(), 5u);
    EXPECT_EQ(bridge, libraryCaptures(c.language, c.text, source));
    for (size_t i = 1; i < bridge.size(); ++i) {
      EXPECT_LE(std::get<0>(bridge[i - 1]), std::get<0>(bridge[i])) << "capture " << i;
    }
  }
}

}  // namespace
