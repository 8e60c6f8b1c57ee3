// Parsing text that the caller hands over whole: incremental re-parse,
// cancellation from another thread, timeout, and the parser's state after a
// stopped parse.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "BridgeTestSupport.h"

extern "C" {
const TSLanguage *tree_sitter_javascript(void);
}

namespace {

using namespace bridge_test;

MorvTree *parseText(MorvParser *parser, const std::u16string &text, const MorvTree *old = nullptr,
                    const volatile uint32_t *cancel = nullptr, uint64_t timeout = 0) {
  return morv_parser_parse_utf16(parser, old, text.data(), uint32_t(text.size() * 2), cancel, timeout);
}

std::string sexpOf(const MorvTree *tree) { return tree != nullptr ? sexp(root(tree)) : "(none)"; }

// A fresh parser's verdict on the text.
std::string freshSexp(const TSLanguage *language, const std::u16string &text) {
  MorvParser *parser = morv_parser_create();
  morv_parser_set_language(parser, language);
  MorvTree *tree = parseText(parser, text);
  const std::string result = sexpOf(tree);
  morv_tree_delete(tree);
  morv_parser_delete(parser);
  return result;
}

// Megabytes of JavaScript: long enough that a parse runs for a long while.
std::u16string bigScript(char16_t name) {
  std::u16string text;
  for (int i = 0; i < 20000; ++i) {
    text += u"function ";
    text += name;
    text += u"(x) { return [x, \"s\", 1.5, {k: x}]; }\n";
  }
  return text;
}

class BridgeParseUtf16 : public ::testing::Test {
 protected:
  void SetUp() override {
    parser = morv_parser_create();
    ASSERT_TRUE(morv_parser_set_language(parser, tree_sitter_javascript()));
  }
  void TearDown() override { morv_parser_delete(parser); }
  MorvParser *parser = nullptr;
};

TEST_F(BridgeParseUtf16, ParsesTheBufferAsTheReadCallbackDoes) {
  const std::u16string cases[] = {
      u"",
      u"let ä = \"😀\";\nf(ä);\n",
      u"class A { m() { return 1 } }",
      u"if (x {",  // with errors
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i);
    MorvTree *buffered = parseText(parser, cases[i]);
    ASSERT_NE(buffered, nullptr);
    Document document(cases[i], 6);
    MorvTree *read = parse(parser, document);
    EXPECT_EQ(sexpOf(buffered), sexpOf(read));
    const MorvNode top = root(buffered);
    EXPECT_EQ(morv_node_end_byte(&top), cases[i].size() * 2);
    morv_tree_delete(read);
    morv_tree_delete(buffered);
  }
}

TEST_F(BridgeParseUtf16, AnOddLastByteIsNoText) {
  const std::u16string text = u"a;b";
  MorvTree *tree = morv_parser_parse_utf16(parser, nullptr, text.data(), 5, nullptr, 0);
  ASSERT_NE(tree, nullptr);
  const MorvNode top = root(tree);
  EXPECT_EQ(morv_node_end_byte(&top), 4u);
  morv_tree_delete(tree);
}

TEST_F(BridgeParseUtf16, ReparsesAnEditedOldTree) {
  const std::u16string before = u"let a = [1, 2];\nf(a);\n";
  const std::u16string after = u"let a = [1, 2, 3];\nf(a);\n";
  MorvTree *old = parseText(parser, before);
  // ", 3" inserted before "]": code unit 13.
  morv_tree_edit(old, 26, 26, 32, 0, 26, 0, 26, 0, 32);
  MorvTree *next = parseText(parser, after, old);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(sexpOf(next), freshSexp(tree_sitter_javascript(), after));
  morv_tree_delete(next);
  morv_tree_delete(old);
}

TEST_F(BridgeParseUtf16, AnOldTreeOfAnotherLanguageGivesAFreshParse) {
  MorvParser *json = morv_parser_create();
  ASSERT_TRUE(morv_parser_set_language(json, tree_sitter_json()));
  const std::u16string text = u"[1, {\"a\": [true, null]}]";
  MorvTree *foreign = parseText(json, text);
  ASSERT_NE(foreign, nullptr);
  morv_tree_edit(foreign, 2, 2, 4, 0, 2, 0, 2, 0, 4);
  const std::u16string script = u"x = [1, {\"a\": [true, null]}];\nlet y = x;\n";
  MorvTree *tree = parseText(parser, script, foreign);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(sexpOf(tree), freshSexp(tree_sitter_javascript(), script));
  morv_tree_delete(tree);
  morv_tree_delete(foreign);
  morv_parser_delete(json);
}

TEST_F(BridgeParseUtf16, AFlagSetFromAnotherThreadStopsTheParse) {
  const std::u16string text = bigScript(u'f');
  const std::u16string other = u"function g(y) { return [y]; }\n";
  // The editor's side stores the flag atomically; the bridge loads it so.
  std::atomic<uint32_t> flag{0};
  static_assert(sizeof flag == sizeof(uint32_t), "the flag is a plain 32-bit cell");
  const volatile uint32_t *cell = reinterpret_cast<const volatile uint32_t *>(&flag);
  std::atomic<bool> started{false};
  std::thread canceller([&] {
    while (!started.load()) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    flag = 1;
  });
  started = true;
  MorvTree *stopped = parseText(parser, text, nullptr, cell);
  canceller.join();
  EXPECT_EQ(stopped, nullptr);
  // The next parse, of another text, starts afresh rather than resuming.
  flag = 0;
  MorvTree *next = parseText(parser, other, nullptr, cell);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(sexpOf(next), freshSexp(tree_sitter_javascript(), other));
  morv_tree_delete(next);
}

TEST_F(BridgeParseUtf16, StopsWhenTheFlagIsAlreadySetOrTheTimeIsUp) {
  const std::u16string big = bigScript(u'f');
  const std::u16string small = u"let a = 1;";
  const volatile uint32_t set = 7, clear = 0;
  const struct {
    const char *name;
    const std::u16string &text;
    const volatile uint32_t *flag;
    uint64_t timeout;
    bool stops;
  } cases[] = {
      {"flag already set, small text", small, &set, 0, true},
      {"flag already set, big text", big, &set, 0, true},
      {"one microsecond", big, nullptr, 1, true},
      {"one microsecond, clear flag", big, &clear, 1, true},
      {"an hour", small, &clear, 3600000000ull, false},
      {"no limit", small, nullptr, 0, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    MorvTree *tree = parseText(parser, c.text, nullptr, c.flag, c.timeout);
    EXPECT_EQ(tree == nullptr, c.stops);
    morv_tree_delete(tree);
    MorvTree *after = parseText(parser, small);
    EXPECT_EQ(sexpOf(after), freshSexp(tree_sitter_javascript(), small));
    morv_tree_delete(after);
  }
}

// A stopped parse leaves the parser's reset to its next use, whatever that
// is: a parse through the read function must start afresh too, not resume
// the stopped parse on its own text.
TEST_F(BridgeParseUtf16, TheNextUseOfAStoppedParserStartsAfresh) {
  const std::u16string big = bigScript(u'f');
  const std::u16string small = u"let a = [1, 2];";
  const std::string expected = freshSexp(tree_sitter_javascript(), small);
  const struct {
    const char *name;
    std::function<MorvTree *()> next;
  } cases[] = {
      {"text", [&] { return parseText(parser, small); }},
      {"read function", [&] {
         Document document(small, 4);
         return parse(parser, document);
       }},
      {"reset, then text", [&] {
         morv_parser_reset(parser);
         return parseText(parser, small);
       }},
      {"language set again, then read function", [&] {
         EXPECT_TRUE(morv_parser_set_language(parser, tree_sitter_javascript()));
         Document document(small, 1000);
         return parse(parser, document);
       }},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(parseText(parser, big, nullptr, nullptr, 1), nullptr);
    MorvTree *tree = c.next();
    EXPECT_EQ(sexpOf(tree), expected);
    morv_tree_delete(tree);
  }
  // Deleted while a reset is pending: the stopped parse is freed (the leak
  // checker watches this).
  MorvParser *other = morv_parser_create();
  ASSERT_TRUE(morv_parser_set_language(other, tree_sitter_javascript()));
  ASSERT_EQ(parseText(other, big, nullptr, nullptr, 1), nullptr);
  morv_parser_delete(other);
}

}  // namespace
