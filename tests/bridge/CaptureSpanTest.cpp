// Captures handed over in bulk, with and without the document's text, the
// text predicates applied to them, and the match limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "BridgeTestSupport.h"
#include "TextFiles.h"

extern "C" {
const TSLanguage *tree_sitter_javascript(void);
const TSLanguage *tree_sitter_java(void);
}

// Found by the standard algorithms through the records' (global) namespace.
inline bool operator==(const MorvCaptureSpan &a, const MorvCaptureSpan &b) {
  return a.start_byte == b.start_byte && a.end_byte == b.end_byte && a.capture_id == b.capture_id &&
         a.pattern_index == b.pattern_index && a.match_id == b.match_id;
}

inline std::ostream &operator<<(std::ostream &out, const MorvCaptureSpan &s) {
  return out << "{" << s.start_byte << ".." << s.end_byte << " capture " << s.capture_id << " pattern "
             << s.pattern_index << " match " << s.match_id << "}";
}

namespace {

using namespace bridge_test;

std::string narrow(const std::u16string &text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xd800 && c < 0xdc00 && i + 1 < text.size()) {
      c = 0x10000 + ((c - 0xd800) << 10) + (text[++i] - 0xdc00);
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xc0 | (c >> 6));
      out += char(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
      out += char(0xe0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3f));
      out += char(0x80 | (c & 0x3f));
    } else {
      out += char(0xf0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3f));
      out += char(0x80 | ((c >> 6) & 0x3f));
      out += char(0x80 | (c & 0x3f));
    }
  }
  return out;
}

std::string highlightsOf(const char *grammar) {
  return readFile(std::string(MORV_GRAMMARS_DIR) + "/tree-sitter-" + grammar + "/queries/highlights.scm");
}

// A document parsed through the bridge, with one query compiled for it.
struct Highlighted {
  Highlighted(const TSLanguage *language, std::u16string content, const std::string &source)
      : text(std::move(content)) {
    parser = morv_parser_create();
    EXPECT_TRUE(morv_parser_set_language(parser, language));
    tree = morv_parser_parse_utf16(parser, nullptr, text.data(), uint32_t(text.size() * 2), nullptr, 0);
    EXPECT_NE(tree, nullptr);
    uint32_t offset = 0, type = 99;
    query = morv_query_new(language, source.data(), uint32_t(source.size()), &offset, &type);
    EXPECT_NE(query, nullptr) << "query error " << type << " at " << offset;
    cursor = morv_cursor_create();
    top = root(tree);
  }
  ~Highlighted() {
    morv_cursor_delete(cursor);
    morv_query_delete(query);
    morv_tree_delete(tree);
    morv_parser_delete(parser);
  }

  // Starts a run over the whole tree, with the text for its predicates or without.
  void exec(bool withText) {
    if (withText) {
      morv_cursor_exec_text(cursor, query, &top, text.data(), uint32_t(text.size() * 2));
    } else {
      morv_cursor_exec(cursor, query, &top);
    }
  }

  // Every span that `read` hands out of a run started by exec, `capacity` at a time.
  std::vector<MorvCaptureSpan> drain(bool withText, uint32_t capacity,
                                     uint32_t (*read)(MorvCursor *, MorvCaptureSpan *, uint32_t)) {
    exec(withText);
    std::vector<MorvCaptureSpan> result;
    std::vector<MorvCaptureSpan> buffer(capacity);
    while (uint32_t n = read(cursor, buffer.data(), capacity)) {
      EXPECT_LE(n, capacity);
      result.insert(result.end(), buffer.begin(), buffer.begin() + n);
    }
    return result;
  }

  std::vector<MorvCaptureSpan> spans(bool withText, uint32_t capacity = 256) {
    return drain(withText, capacity, morv_cursor_next_captures);
  }

  // The captures of the run's matches, sorted into document order as a
  // caller of morv_cursor_next_match_captures does: by start byte, then
  // pattern, in the order they came where those are equal. Match ids are
  // the library's per run and differ from those of a capture run: zeroed.
  std::vector<MorvCaptureSpan> matchSpans(bool withText, uint32_t capacity = 256) {
    std::vector<MorvCaptureSpan> result = drain(withText, capacity, morv_cursor_next_match_captures);
    std::stable_sort(result.begin(), result.end(), [](const MorvCaptureSpan &a, const MorvCaptureSpan &b) {
      return a.start_byte != b.start_byte ? a.start_byte < b.start_byte : a.pattern_index < b.pattern_index;
    });
    for (MorvCaptureSpan &s : result) s.match_id = 0;
    return result;
  }

  // Every capture as morv_cursor_next_capture reports it, with the match it belongs to.
  template <typename Visit>
  void eachCapture(Visit visit) {
    morv_cursor_exec(cursor, query, &top);
    MorvQueryMatch match;
    uint32_t index = 0;
    while (morv_cursor_next_capture(cursor, &match, &index)) {
      visit(match, index);
    }
  }

  std::string capture(uint32_t id) const {
    uint32_t length = 0;
    const char *name = morv_query_capture_name(query, id, &length);
    return std::string(name, length);
  }

  std::string textOf(uint32_t start, uint32_t end) const { return narrow(text.substr(start / 2, (end - start) / 2)); }

  std::u16string text;
  MorvParser *parser = nullptr;
  MorvTree *tree = nullptr;
  MorvQuery *query = nullptr;
  MorvCursor *cursor = nullptr;
  MorvNode top{};
};

MorvCaptureSpan spanOf(const MorvQueryMatch &match, uint32_t index) {
  const MorvQueryCapture &c = match.captures[index];
  return {morv_node_start_byte(&c.node), morv_node_end_byte(&c.node), uint16_t(c.index), match.pattern_index,
          match.id};
}

// The query's text predicates, evaluated from their steps with the standard
// library's regular expressions, independently of the bridge's evaluation.
class ReferencePredicates {
 public:
  explicit ReferencePredicates(const Highlighted &h) : h_(h) {}

  bool pass(const MorvQueryMatch &match) {
    uint32_t count = 0;
    const MorvPredicateStep *steps = morv_query_predicates(h_.query, match.pattern_index, &count);
    std::vector<MorvPredicateStep> predicate;
    for (uint32_t i = 0; i < count; ++i) {
      if (steps[i].type != MorvPredicateStepDone) {
        predicate.push_back(steps[i]);
        continue;
      }
      if (!passOne(predicate, match)) return false;
      predicate.clear();
    }
    return true;
  }

 private:
  std::string string(uint32_t id) const {
    uint32_t length = 0;
    const char *value = morv_query_string_value(h_.query, id, &length);
    return std::string(value, length);
  }

  std::vector<std::string> texts(const MorvQueryMatch &match, uint32_t capture) const {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < match.capture_count; ++i) {
      const MorvQueryCapture &c = match.captures[i];
      if (c.index == capture) out.push_back(h_.textOf(morv_node_start_byte(&c.node), morv_node_end_byte(&c.node)));
    }
    return out;
  }

  // Null for an expression that does not compile: its predicate never passes.
  const std::regex *regex(const std::string &pattern) {
    auto it = regexes_.find(pattern);
    if (it == regexes_.end()) {
      std::unique_ptr<std::regex> compiled;
      try {
        compiled = std::make_unique<std::regex>(pattern);
      } catch (const std::regex_error &) {
      }
      it = regexes_.emplace(pattern, std::move(compiled)).first;
    }
    return it->second.get();
  }

  bool passOne(const std::vector<MorvPredicateStep> &p, const MorvQueryMatch &match) {
    const std::string name = string(p[0].value_id);
    const bool eq = name == "eq?" || name == "not-eq?" || name == "any-eq?" || name == "any-not-eq?";
    const bool re = name == "match?" || name == "not-match?" || name == "any-match?" || name == "any-not-match?";
    const bool set = name == "any-of?" || name == "not-any-of?";
    if (!eq && !re && !set) return true;
    const bool positive = name.find("not-") == std::string::npos;
    const bool any = !set && name.rfind("any-", 0) == 0;
    if (p.size() < 2 || p[1].type != MorvPredicateStepCapture || ((eq || re) && p.size() != 3)) return false;
    for (size_t i = 2; i < p.size(); ++i) {
      if (p[i].type != MorvPredicateStepString && !(eq && i == 2)) return false;
    }
    if (re && regex(string(p[2].value_id)) == nullptr) return false;
    const std::vector<std::string> nodes = texts(match, p[1].value_id);
    std::vector<bool> results;
    bool sameCount = true;
    if (eq && p[2].type == MorvPredicateStepCapture) {
      const std::vector<std::string> others = texts(match, p[2].value_id);
      for (size_t i = 0; i < std::min(nodes.size(), others.size()); ++i) results.push_back((nodes[i] == others[i]) == positive);
      sameCount = nodes.size() == others.size();
    } else {
      for (const std::string &t : nodes) {
        bool hit = false;
        if (eq) hit = t == string(p[2].value_id);
        if (re) hit = std::regex_search(t, *regex(string(p[2].value_id)));
        for (size_t i = 2; set && i < p.size(); ++i) hit = hit || t == string(p[i].value_id);
        results.push_back(hit == positive);
      }
    }
    if (any) return std::find(results.begin(), results.end(), true) != results.end();
    return sameCount && std::find(results.begin(), results.end(), false) == results.end();
  }

  const Highlighted &h_;
  std::map<std::string, std::unique_ptr<std::regex>> regexes_;
};

// The captures that remain when every match failing the reference is left out.
std::vector<MorvCaptureSpan> referenceSpans(Highlighted &h) {
  ReferencePredicates reference(h);
  std::map<uint32_t, bool> verdicts;
  std::vector<MorvCaptureSpan> result;
  h.eachCapture([&](const MorvQueryMatch &match, uint32_t index) {
    auto it = verdicts.find(match.id);
    if (it == verdicts.end()) it = verdicts.emplace(match.id, reference.pass(match)).first;
    if (it->second) result.push_back(spanOf(match, index));
  });
  return result;
}

std::vector<std::string> named(const Highlighted &h, const std::vector<MorvCaptureSpan> &spans) {
  std::vector<std::string> out;
  for (const MorvCaptureSpan &s : spans) out.push_back(h.capture(s.capture_id) + "=" + h.textOf(s.start_byte, s.end_byte));
  return out;
}

TEST(BridgeCaptureSpans, WithoutTextEqualNextCaptureExactly) {
  const struct {
    const char *grammar;
    const TSLanguage *language;
    std::u16string text;
  } cases[] = {
      {"javascript", tree_sitter_javascript(),
       u"// ä\nclass A extends B {\n  m(x) { return `${x}😀` + 1; }\n}\nconst F_OO = async (y) => y?.z ?? null;\n"},
      {"java", tree_sitter_java(),
       u"package p;\n/** ä */\n@Deprecated\npublic class A<T> {\n  static final int MAX_X = 0x1F;\n"
       u"  void m(String s) { System.out.println(s + \"😀\"); }\n}\n"},
      {"python", tree_sitter_python(),
       u"import os\n@decorator\ndef f(a: int = 1) -> str:\n    \"\"\"ä\"\"\"\n    return f\"{a}😀\" if a else None\n"},
  };
  for (const auto &c : cases) {
    for (uint32_t capacity : {1u, 3u, 1000u}) {
      SCOPED_TRACE(::testing::Message() << c.grammar << ", capacity " << capacity);
      Highlighted h(c.language, c.text, highlightsOf(c.grammar));
      std::vector<MorvCaptureSpan> expected;
      h.eachCapture([&](const MorvQueryMatch &match, uint32_t index) { expected.push_back(spanOf(match, index)); });
      ASSERT_GT(expected.size(), 5u);
      EXPECT_EQ(h.spans(false, capacity), expected);
    }
  }
}

TEST(BridgeCaptureSpans, TextPredicatesFilterMatches) {
  const std::u16string names = u"foo; Bar; foo; baz;\n";
  const std::u16string pairs = u"a = a; b = c; d = d;\n";
  // Blocks of two comments, two comments, none. Besides the match of each
  // block's comments, the library reports one of its first comment alone
  // (which passes with "// 1"), and for `*` one without a comment.
  const std::u16string blocks = u"{\n// 1\n// 1\n}\n{\n// 1\n// 2\n}\n{\n}\n";
  const std::vector<std::string> first{"b={", "b={", "c=// 1", "c=// 1", "b={"};
  const std::vector<std::string> second{"b={", "c=// 1", "c=// 2"};
  const struct {
    std::u16string text;
    std::string query;
    std::vector<std::string> expected;
  } cases[] = {
      {names, "((identifier) @id (#eq? @id \"foo\"))", {"id=foo", "id=foo"}},
      {names, "((identifier) @id (#not-eq? @id \"foo\"))", {"id=Bar", "id=baz"}},
      {names, "((identifier) @id (#match? @id \"^[A-Z]\"))", {"id=Bar"}},
      {names, "((identifier) @id (#not-match? @id \"a\"))", {"id=foo", "id=foo"}},
      {names, "((identifier) @id (#any-of? @id \"baz\" \"foo\"))", {"id=foo", "id=foo", "id=baz"}},
      {names, "((identifier) @id (#not-any-of? @id \"baz\" \"foo\"))", {"id=Bar"}},
      // Predicates that are the caller's business filter nothing.
      {names, "((identifier) @id (#set! kind \"x\") (#is-not? local) (#frobnicate? @id))",
       {"id=foo", "id=Bar", "id=foo", "id=baz"}},
      // A regular expression that does not compile fails its pattern only.
      {names, "((identifier) @bad (#match? @bad \"[\")) ((identifier) @all (#eq? @all \"baz\"))", {"all=baz"}},
      // So do known predicates whose arguments make no sense.
      {names, "((identifier) @id (#eq? @id)) ((identifier) @id (#eq? \"foo\" @id)) "
              "((identifier) @id (#match? @id @id))",
       {}},
      {pairs, "(assignment_expression left: (identifier) @l right: (identifier) @r (#eq? @l @r))",
       {"l=a", "r=a", "l=d", "r=d"}},
      {pairs, "(assignment_expression left: (identifier) @l right: (identifier) @r (#not-eq? @l @r))",
       {"l=b", "r=c"}},
      // Quantified captures: the plain forms need all nodes to pass, the
      // any- forms one. A match without a node of the capture (`*` matches
      // nothing too) passes the plain forms and fails the any- forms.
      {blocks, "(statement_block \"{\" @b (comment)+ @c (#eq? @c \"// 1\"))", first},
      {blocks, "(statement_block \"{\" @b (comment)+ @c (#any-eq? @c \"// 2\"))", second},
      {blocks, "(statement_block \"{\" @b (comment)+ @c (#not-eq? @c \"// 2\"))", first},
      {blocks, "(statement_block \"{\" @b (comment)+ @c (#any-not-eq? @c \"// 1\"))", second},
      {blocks, "(statement_block \"{\" @b (comment)+ @c (#match? @c \"1$\"))", first},
      {blocks, "(statement_block \"{\" @b (comment)+ @c (#not-match? @c \"2\"))", first},
      {blocks, "(statement_block \"{\" @b (comment)+ @c (#any-match? @c \"2\"))", second},
      {blocks, "(statement_block \"{\" @b (comment)+ @c (#any-not-match? @c \"1\"))", second},
      {blocks, "(statement_block \"{\" @b (comment)+ @c (#any-of? @c \"// 3\" \"// 1\"))", first},
      {blocks, "(statement_block \"{\" @b (comment)+ @c (#not-any-of? @c \"// 2\"))", first},
      {blocks, "(statement_block \"{\" @b (comment)* @c (#eq? @c \"// 1\"))",
       {"b={", "b={", "c=// 1", "c=// 1", "b={", "b={"}},
      {blocks, "(statement_block \"{\" @b (comment)* @c (#any-eq? @c \"// 1\"))",
       {"b={", "b={", "c=// 1", "c=// 1", "b={", "b={", "c=// 1", "c=// 2"}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i << ": " << cases[i].query);
    Highlighted h(tree_sitter_javascript(), cases[i].text, cases[i].query);
    ASSERT_NE(h.query, nullptr);
    const std::vector<MorvCaptureSpan> spans = h.spans(true, 2);
    EXPECT_EQ(named(h, spans), cases[i].expected);
    EXPECT_EQ(spans, referenceSpans(h));
  }
}

TEST(BridgeCaptureSpans, HighlightsOnRealFilesEqualTheReference) {
  const std::string jsDir = std::string(MORV_GRAMMARS_DIR);
  const struct {
    const char *grammar;
    const TSLanguage *language;
    std::u16string text;
  } cases[] = {
      {"javascript", tree_sitter_javascript(), widen(readFile(jsDir + "/tree-sitter-javascript/grammar.js"))},
      {"javascript", tree_sitter_javascript(), widen(readFile(jsDir + "/tree-sitter-java/grammar.js"))},
      {"python", tree_sitter_python(),
       u"import os\nMAX_SIZE = 10\nclass Point:\n    def __init__(self, x):\n        self.x = x\n"
       u"    def norm(self):\n        return abs(self.x) + len(str(MAX_SIZE)) + print(Point, None)\n"},
      {"java", tree_sitter_java(),
       u"package p;\nimport java.util.List;\npublic final class Cache<K> {\n"
       u"  static final int MAX_SIZE = 16, _HIDDEN = 2;\n  private List<K> items;\n"
       u"  Cache(List<K> items) { this.items = items; }\n"
       u"  int size() { return Math.max(items.size(), MAX_SIZE) + Integer.MAX_VALUE; }\n}\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.grammar);
    ASSERT_GT(c.text.size(), 100u);
    Highlighted h(c.language, c.text, highlightsOf(c.grammar));
    MorvNode top = root(h.tree);
    ASSERT_FALSE(morv_node_has_error(&top));
    const std::vector<MorvCaptureSpan> all = h.spans(false);
    const std::vector<MorvCaptureSpan> filtered = h.spans(true, 7);
    EXPECT_EQ(filtered, referenceSpans(h));
    // The fixture holds captures that the predicates reject.
    EXPECT_LT(filtered.size(), all.size());
  }
}

TEST(BridgeCaptureSpans, PredicatesOnMegabytesOfNodeText) {
  // One string literal of 4 MiB of text.
  const std::u16string body(2u << 20, u'a');
  const struct {
    std::string query;
    std::vector<std::string> expected;
  } cases[] = {
      {"((string_fragment) @s (#match? @s \"^a+$\"))", {"s"}},
      {"((string_fragment) @s (#match? @s \"b\"))", {}},
      {"((string_fragment) @s (#not-match? @s \"b\"))", {"s"}},
      // Each repetition of a group keeps a backtracking frame: the heap
      // limit ends it, and the predicate fails instead of the process.
      {"((string_fragment) @s (#match? @s \"^(a|b)*$\"))", {}},
      {"((string_fragment) @s (#eq? @s \"a\"))", {}},
      {"((string_fragment) @s (#any-of? @s \"b\" \"a\"))", {}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i << ": " << cases[i].query);
    Highlighted h(tree_sitter_javascript(), u"x = \"" + body + u"\";\n", cases[i].query);
    std::vector<std::string> names;
    for (const MorvCaptureSpan &s : h.spans(true)) {
      names.push_back(h.capture(s.capture_id));
      EXPECT_EQ(s.end_byte - s.start_byte, body.size() * 2);
    }
    EXPECT_EQ(names, cases[i].expected);
  }
}

TEST(BridgeCaptureSpans, NodesOutsideTheTextFailTheirPredicates) {
  Highlighted h(tree_sitter_javascript(), u"foo; foo;\n", "((identifier) @id (#eq? @id \"foo\"))");
  // Only the first statement's bytes are given: the second node is out of reach.
  morv_cursor_exec_text(h.cursor, h.query, &h.top, h.text.data(), 8);
  MorvCaptureSpan spans[4];
  ASSERT_EQ(morv_cursor_next_captures(h.cursor, spans, 4), 1u);
  EXPECT_EQ(spans[0].start_byte, 0u);
  EXPECT_EQ(morv_cursor_next_captures(h.cursor, spans, 4), 0u);
}

TEST(BridgeCaptureSpans, ARunWithoutTextAfterOneWithTextFiltersNothing) {
  Highlighted h(tree_sitter_javascript(), u"foo; bar;\n", "((identifier) @id (#eq? @id \"foo\"))");
  EXPECT_EQ(named(h, h.spans(true)), (std::vector<std::string>{"id=foo"}));
  EXPECT_EQ(named(h, h.spans(false)), (std::vector<std::string>{"id=foo", "id=bar"}));
  EXPECT_EQ(named(h, h.spans(true)), (std::vector<std::string>{"id=foo"}));
}

TEST(BridgeCaptureSpans, TheByteRangeLimitsTheSpans) {
  Highlighted h(tree_sitter_javascript(), u"foo; bar; foo; foo;\n", "((identifier) @id (#eq? @id \"foo\"))");
  ASSERT_TRUE(morv_cursor_set_byte_range(h.cursor, 8, 26));
  std::vector<uint32_t> starts;
  for (const MorvCaptureSpan &s : h.spans(true)) starts.push_back(s.start_byte);
  EXPECT_EQ(starts, (std::vector<uint32_t>{20}));
}

TEST(BridgeCaptureSpans, MatchLimitIsReportedOnAPathologicalQuery) {
  // Every pair of numbers in a long flat list starts a match in progress.
  std::u16string list = u"[";
  for (int i = 0; i < 60; ++i) list += u"1, ";
  list += u"1];\n";
  Highlighted h(tree_sitter_javascript(), list, "(array (number) @a (number) @b)");
  EXPECT_FALSE(morv_cursor_did_exceed_match_limit(h.cursor));
  const struct {
    uint32_t limit;
    bool exceeded;
  } cases[] = {{8, true}, {0, false}, {24, true}, {100000, false}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "limit " << cases[i].limit);
    // The library reuses the match slots that a cursor's earlier runs made,
    // whatever the limit says now: each limit gets its own cursor.
    morv_cursor_delete(h.cursor);
    h.cursor = morv_cursor_create();
    morv_cursor_set_match_limit(h.cursor, cases[i].limit);
    EXPECT_FALSE(h.spans(true).empty());
    EXPECT_EQ(morv_cursor_did_exceed_match_limit(h.cursor), cases[i].exceeded);
  }
}

std::vector<MorvCaptureSpan> withoutMatchIds(std::vector<MorvCaptureSpan> spans) {
  for (MorvCaptureSpan &s : spans) s.match_id = 0;
  return spans;
}

TEST(BridgeCaptureSpans, MatchCapturesSortedEqualTheCaptures) {
  const std::string jsDir = std::string(MORV_GRAMMARS_DIR);
  const struct {
    const char *grammar;
    const TSLanguage *language;
    std::u16string text;
  } cases[] = {
      {"javascript", tree_sitter_javascript(), widen(readFile(jsDir + "/tree-sitter-javascript/grammar.js"))},
      {"java", tree_sitter_java(),
       u"package p;\n/** ä */\n@Deprecated\npublic class A<T> {\n  static final int MAX_X = 0x1F;\n"
       u"  void m(String s) { System.out.println(s + \"😀\"); }\n}\n"},
      {"python", tree_sitter_python(),
       u"import os\n@decorator\ndef f(a: int = 1) -> str:\n    \"\"\"ä\"\"\"\n    return f\"{a}😀\" if a else None\n"},
  };
  for (const auto &c : cases) {
    Highlighted h(c.language, c.text, highlightsOf(c.grammar));
    for (bool withText : {false, true}) {
      const std::vector<MorvCaptureSpan> expected = withoutMatchIds(h.spans(withText));
      ASSERT_GT(expected.size(), 5u);
      for (uint32_t capacity : {1u, 7u, 1000u}) {
        SCOPED_TRACE(::testing::Message() << c.grammar << (withText ? " with text" : "") << ", capacity " << capacity);
        EXPECT_EQ(h.matchSpans(withText, capacity), expected);
      }
    }
  }
}

TEST(BridgeCaptureSpans, MatchCapturesDoNotWaitForAMatchInProgress) {
  // Error recovery puts the words between the name and the function into
  // the declarator: its match holds the name until the value shows whether
  // it is a function, the captures of every word in between wait behind it,
  // and past the limit the run drops matches.
  std::u16string text = u"var f = ";
  for (int i = 0; i < 200; ++i) text += u"x" + widen(std::to_string(i)) + u" y ";
  text += u"function () {};\n";
  Highlighted h(tree_sitter_javascript(), text, highlightsOf("javascript"));
  const std::vector<MorvCaptureSpan> expected = withoutMatchIds(h.spans(true));
  ASSERT_FALSE(morv_cursor_did_exceed_match_limit(h.cursor));
  ASSERT_GT(expected.size(), 400u);
  morv_cursor_delete(h.cursor);
  h.cursor = morv_cursor_create();
  morv_cursor_set_match_limit(h.cursor, 32);
  const std::vector<MorvCaptureSpan> lossy = h.spans(true);
  EXPECT_TRUE(morv_cursor_did_exceed_match_limit(h.cursor));
  EXPECT_LT(lossy.size(), expected.size());
  EXPECT_EQ(h.matchSpans(true), expected);
  EXPECT_FALSE(morv_cursor_did_exceed_match_limit(h.cursor));
}

TEST(BridgeCaptureSpans, MatchCapturesAfterCapturesOfTheSameRunStaySafe) {
  Highlighted h(tree_sitter_javascript(), u"foo(bar, baz); qux.quux = 1;\n", highlightsOf("javascript"));
  MorvCaptureSpan spans[4];
  const struct {
    const char *name;
    int interleave;  // 0: one capture, 1: bulk captures
  } cases[] = {{"next_capture", 0}, {"next_captures", 1}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    morv_cursor_exec(h.cursor, h.query, &h.top);
    // A match only partly handed out, then the other way of reading, then this one again.
    ASSERT_EQ(morv_cursor_next_match_captures(h.cursor, spans, 1), 1u);
    MorvQueryMatch match;
    uint32_t index;
    for (int i = 0; i < 3; ++i) {
      if (c.interleave == 0) {
        morv_cursor_next_capture(h.cursor, &match, &index);
      } else {
        morv_cursor_next_captures(h.cursor, spans, 2);
      }
    }
    uint32_t total = 0;
    while (uint32_t n = morv_cursor_next_match_captures(h.cursor, spans, 4)) {
      for (uint32_t i = 0; i < n; ++i) EXPECT_LE(spans[i].end_byte, 60u);
      total += n;
    }
    EXPECT_LT(total, 100u);
  }
}

}  // namespace
