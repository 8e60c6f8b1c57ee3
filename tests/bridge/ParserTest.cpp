// Parser handles, languages, parsing through the callbacks, edits.
// The library's own header first: the bridge header then leaves TSLanguage to it.
#include <tree_sitter/api.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "BridgeTestSupport.h"

namespace {

using namespace bridge_test;

struct ParserDeleter {
  void operator()(MorvParser *p) const { morv_parser_delete(p); }
};
struct TreeDeleter {
  void operator()(MorvTree *t) const { morv_tree_delete(t); }
};
using Parser = std::unique_ptr<MorvParser, ParserDeleter>;
using Tree = std::unique_ptr<MorvTree, TreeDeleter>;

Parser jsonParser() {
  Parser parser(morv_parser_create());
  EXPECT_TRUE(morv_parser_set_language(parser.get(), tree_sitter_json()));
  return parser;
}

// A JSON array long enough for the library to consult the progress function.
std::u16string longArray() {
  std::u16string text = u"[";
  for (int i = 0; i < 2000; ++i) {
    text += (i == 0 ? u"" : u", ");
    text += u"{\"k\": [1, 2.5, true, null, \"s\"]}";
  }
  return text + u"]";
}

// Every read asks at a code-unit boundary, with the row and byte column of
// that offset in the document's text.
void expectReadsAtTextPositions(const Document &document) {
  const std::u16string &text = document.text;
  for (size_t i = 0; i < document.reads.size(); ++i) {
    const auto &read = document.reads[i];
    SCOPED_TRACE(::testing::Message() << "read " << i << " at byte " << read.byteIndex);
    EXPECT_EQ(read.byteIndex % 2, 0u);
    uint32_t row = 0, column = 0;
    for (uint32_t unit = 0; unit < read.byteIndex / 2 && unit < text.size(); ++unit) {
      if (text[unit] == u'\n') {
        ++row;
        column = 0;
      } else {
        column += 2;
      }
    }
    EXPECT_EQ(read.row, row);
    EXPECT_EQ(read.column, column);
  }
}

TEST(BridgeParser, CreateReturnsDistinctHandles) {
  Parser a(morv_parser_create());
  Parser b(morv_parser_create());
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a.get(), b.get());
}

TEST(BridgeParser, DeleteFunctionsIgnoreNull) {
  morv_parser_delete(nullptr);
  morv_tree_delete(nullptr);
  morv_query_delete(nullptr);
  morv_cursor_delete(nullptr);
  morv_free(nullptr);
}

TEST(BridgeParser, SetLanguageAcceptsAbi13To15Only) {
  const struct {
    uint32_t abi;
    bool accepted;
  } cases[] = {{0, false}, {12, false}, {13, true}, {14, true}, {15, true}, {16, false}, {99, false}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i << ": ABI " << cases[i].abi);
    PatchedLanguage language(cases[i].abi);
    Parser parser(morv_parser_create());
    EXPECT_EQ(morv_language_abi_version(language.get()), cases[i].abi);
    EXPECT_EQ(morv_parser_set_language(parser.get(), language.get()), cases[i].accepted);
  }
}

TEST(BridgeParser, SetLanguageAcceptsRealGrammars) {
  const struct {
    const char *name;
    const TSLanguage *language;
    uint32_t abi;
  } cases[] = {{"json", tree_sitter_json(), 14}, {"python", tree_sitter_python(), 15}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Parser parser(morv_parser_create());
    EXPECT_EQ(morv_language_abi_version(c.language), c.abi);
    EXPECT_TRUE(morv_parser_set_language(parser.get(), c.language));
  }
}

TEST(BridgeParser, RejectedLanguageLeavesParserWithoutOne) {
  Parser parser = jsonParser();
  PatchedLanguage future(16);
  EXPECT_FALSE(morv_parser_set_language(parser.get(), future.get()));
  Document document(u"[1]");
  EXPECT_EQ(parse(parser.get(), document), nullptr);
}

TEST(BridgeParser, NullLanguageIsAcceptedAndParsesNothing) {
  Parser parser = jsonParser();
  EXPECT_TRUE(morv_parser_set_language(parser.get(), nullptr));
  Document document(u"[1]");
  EXPECT_EQ(parse(parser.get(), document), nullptr);
}

TEST(BridgeParser, ParseWithoutLanguageYieldsNull) {
  Parser parser(morv_parser_create());
  Document document(u"");
  EXPECT_EQ(parse(parser.get(), document), nullptr);
}

TEST(BridgeParser, EmptyDocumentGivesATree) {
  Parser parser = jsonParser();
  Document document(u"");
  Tree tree(parse(parser.get(), document));
  ASSERT_NE(tree, nullptr);
  ASSERT_FALSE(document.reads.empty());
  EXPECT_EQ(document.reads.front().byteIndex, 0u);
  MorvNode node = root(tree.get());
  EXPECT_NE(node.id, nullptr);
  EXPECT_EQ(morv_node_start_byte(&node), 0u);
  EXPECT_EQ(morv_node_end_byte(&node), 0u);
  EXPECT_EQ(morv_node_child_count(&node), 0u);
  EXPECT_EQ(symbolName(tree_sitter_json(), node), "document");
}

TEST(BridgeParser, FreshParseProducesTheDocumentTree) {
  const struct {
    std::u16string text;
    const char *expected;
  } cases[] = {
      {u"[1, \"a\", {\"k\": null}]",
       "(document (array (number) (string (string_content)) "
       "(object (pair key: (string (string_content)) value: (null)))))"},
      {u"{\"äöü\": true}", "(document (object (pair key: (string (string_content)) value: (true))))"},
      {u"\n\n  false\n", "(document (false))"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i);
    Parser parser = jsonParser();
    Document document(cases[i].text);
    Tree tree(parse(parser.get(), document, nullptr));
    ASSERT_NE(tree, nullptr);
    MorvNode node = root(tree.get());
    EXPECT_EQ(sexp(node), cases[i].expected);
    // The root spans the whole document, surrounding whitespace included.
    EXPECT_EQ(morv_node_end_byte(&node), document.byteSize());
  }
}

TEST(BridgeParser, ChunkSizeDoesNotChangeTheTree) {
  const std::u16string text = u"{\n  \"name\": \"morv 😀\",\n  \"list\": [1, 2, 3],\n  \"x\": {}\n}\n";
  Parser parser = jsonParser();
  Document whole(text);
  Tree reference(parse(parser.get(), whole));
  ASSERT_NE(reference, nullptr);
  const std::string expected = sexp(root(reference.get()));

  // Odd sizes end chunks inside a code unit; the library then reads again from
  // the start of that unit.
  const uint32_t chunks[] = {2, 7, 4096, 3, 10};
  for (uint32_t chunk : chunks) {
    SCOPED_TRACE(::testing::Message() << "chunk of " << chunk << " bytes");
    Document document(text, chunk);
    Tree tree(parse(parser.get(), document));
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(sexp(root(tree.get())), expected);
    EXPECT_GT(document.reads.size(), 1u);
  }
}

TEST(BridgeParser, ReadFunctionGetsRowAndByteColumnOfTheIndex) {
  const std::u16string text = u"[\n  1,\n  \"äö\",\n  [true, false]\n]";
  Parser parser = jsonParser();
  Document document(text, 6);
  Tree tree(parse(parser.get(), document));
  ASSERT_NE(tree, nullptr);
  ASSERT_GT(document.reads.size(), 3u);
  expectReadsAtTextPositions(document);
}

TEST(BridgeParser, ProgressGetsContextAndOffsets) {
  Parser parser = jsonParser();
  Document document(longArray());
  Progress progress;
  Tree tree(parse(parser.get(), document, nullptr, &progress));
  ASSERT_NE(tree, nullptr);
  ASSERT_FALSE(progress.offsets.empty());
  for (size_t i = 1; i < progress.offsets.size(); ++i) {
    EXPECT_LE(progress.offsets[i - 1], progress.offsets[i]) << "call " << i;
  }
  EXPECT_LE(progress.offsets.back(), document.byteSize());
}

TEST(BridgeParser, ProgressStopsTheParseAndResetStartsOver) {
  Parser parser = jsonParser();
  Document document(longArray());
  Progress stop;
  stop.stopAt = 1;
  EXPECT_EQ(parse(parser.get(), document, nullptr, &stop), nullptr);
  EXPECT_EQ(stop.offsets.size(), 1u);
  EXPECT_GT(stop.offsets.front(), 0u);

  morv_parser_reset(parser.get());
  Document again(document.text);
  Tree tree(parse(parser.get(), again));
  ASSERT_NE(tree, nullptr);
  ASSERT_FALSE(again.reads.empty());
  EXPECT_EQ(again.reads.front().byteIndex, 0u);
  MorvNode node = root(tree.get());
  EXPECT_FALSE(morv_node_has_error(&node));
  EXPECT_EQ(morv_node_end_byte(&node), again.byteSize());
}

TEST(BridgeParser, StoppedParseResumesWithoutReset) {
  Parser parser = jsonParser();
  Document document(longArray());
  Progress stop;
  stop.stopAt = 2;
  EXPECT_EQ(parse(parser.get(), document, nullptr, &stop), nullptr);
  const uint32_t stoppedAt = stop.offsets.back();

  Progress watch;
  Tree tree(parse(parser.get(), document, nullptr, &watch));
  ASSERT_NE(tree, nullptr);
  ASSERT_FALSE(watch.offsets.empty());
  // The kept state continues where the stopped parse ended.
  EXPECT_GE(watch.offsets.front(), stoppedAt);
  MorvNode node = root(tree.get());
  EXPECT_FALSE(morv_node_has_error(&node));
}

TSNode libraryNode(const MorvNode &node) {
  TSNode out;
  std::memcpy(&out, &node, sizeof out);
  return out;
}

void expectSamePoint(TSPoint actual, TSPoint expected, const char *what) {
  EXPECT_EQ(actual.row, expected.row) << what;
  EXPECT_EQ(actual.column, expected.column) << what;
}

// Reports to the tree the change from before to after, as one edit over
// the span between their common prefix and suffix.
void reportEdit(MorvTree *tree, const std::u16string &before, const std::u16string &after) {
  size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
    ++prefix;
  }
  size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  auto pointOf = [](const std::u16string &text, size_t units) {
    uint32_t row = 0, column = 0;
    for (size_t u = 0; u < units; ++u) {
      if (text[u] == u'\n') {
        ++row;
        column = 0;
      } else {
        column += 2;
      }
    }
    return std::make_pair(row, column);
  };
  auto start = pointOf(before, prefix);
  auto oldEnd = pointOf(before, before.size() - suffix);
  auto newEnd = pointOf(after, after.size() - suffix);
  morv_tree_edit(tree, static_cast<uint32_t>(prefix * 2),
                 static_cast<uint32_t>((before.size() - suffix) * 2),
                 static_cast<uint32_t>((after.size() - suffix) * 2), start.first, start.second,
                 oldEnd.first, oldEnd.second, newEnd.first, newEnd.second);
}

TEST(BridgeParser, IncrementalParseAfterEditMatchesFreshParse) {
  const struct {
    std::u16string before;
    std::u16string after;
  } cases[] = {
      {u"[1, 2, 3]", u"[1, 22, 3]"},                      // insertion, middle
      {u"[1, 2, 3]", u" [0, 1, 2, 3]"},                   // insertion, start
      {u"[1, 2, 3]", u"[1, 2, 3]\n"},                     // insertion, end
      {u"[1, 2, 3]", u"[1, 3]"},                          // deletion, middle
      {u" [1, 2, 3]", u"[1, 2, 3]"},                      // deletion, start
      {u"[1, 2, 3]\n\n", u"[1, 2, 3]"},                   // deletion, end
      {u"{\"a\": 1}", u"{\"a\": 1, \"b\": [true]}"},      // replacement, end
      {u"[\"äöü\", 1]", u"[\"ä😀\", 1]"},                  // replacement, non-BMP
      {u"[true, 1]", u"[null, 1]"},                       // replacement, start
      {u"[1,\n 2]", u"[1,\n 2,\n 3]"},                     // insertion over lines
      {u"[1,\n 2,\n 3]", u"[1, 3]"},                       // deletion over lines
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i);
    const auto &before = cases[i].before;
    const auto &after = cases[i].after;
    Parser parser = jsonParser();
    Document oldDocument(before);
    Tree oldTree(parse(parser.get(), oldDocument));
    ASSERT_NE(oldTree, nullptr);
    const std::string oldString = sexp(root(oldTree.get()));

    reportEdit(oldTree.get(), before, after);
    MorvNode editedRoot = root(oldTree.get());
    EXPECT_EQ(morv_node_end_byte(&editedRoot), after.size() * 2);

    Document newDocument(after, 2);
    Tree incremental(parse(parser.get(), newDocument, oldTree.get()));
    ASSERT_NE(incremental, nullptr);
    expectReadsAtTextPositions(newDocument);
    Document freshDocument(after);
    Tree fresh(parse(parser.get(), freshDocument));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(sexp(root(incremental.get())), sexp(root(fresh.get())));
    // The bridge exports no positions, but the library (the suite links the
    // same sources) reads them from the node values: the edit's rows and
    // columns must have moved the old tree's end and last token to where the
    // fresh tree has them.
    const TSNode editedEnd = libraryNode(editedRoot);
    const TSNode freshEnd = libraryNode(root(fresh.get()));
    expectSamePoint(ts_node_end_point(editedEnd), ts_node_end_point(freshEnd), "root end");
    const uint32_t last = static_cast<uint32_t>(after.find_last_not_of(u" \n") * 2);
    expectSamePoint(ts_node_start_point(ts_node_descendant_for_byte_range(editedEnd, last, last + 2)),
                    ts_node_start_point(ts_node_descendant_for_byte_range(freshEnd, last, last + 2)),
                    "last token");
    // The old tree is only read: its handle stays usable with its old shape.
    EXPECT_EQ(sexp(root(oldTree.get())), oldString);
  }
}

// An old tree of another language has nothing to reuse: its nodes carry that
// language's symbols and states. The parse is a fresh one.
TEST(BridgeParser, OldTreeOfAnotherLanguageIsIgnored) {
  const struct {
    const char *name;
    const TSLanguage *oldLanguage;
    std::u16string oldText;
    const TSLanguage *language;
    std::u16string text;
  } cases[] = {
      {"python tree, json parser", tree_sitter_python(), u"x = [1, 2]\nif x:\n    y = {'a': 3}\n",
       tree_sitter_json(), u"[1, 2, {\"a\": 3}]"},
      {"json tree, python parser", tree_sitter_json(), u"[1, 2, {\"a\": [true, null]}]",
       tree_sitter_python(), u"x = [1, 2]\ndef f():\n    return {'a': 3}\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Parser other(morv_parser_create());
    ASSERT_TRUE(morv_parser_set_language(other.get(), c.oldLanguage));
    Document oldDocument(c.oldText);
    Tree old(parse(other.get(), oldDocument));
    ASSERT_NE(old, nullptr);

    Parser parser(morv_parser_create());
    ASSERT_TRUE(morv_parser_set_language(parser.get(), c.language));
    Document document(c.text);
    Tree reused(parse(parser.get(), document, old.get()));
    ASSERT_NE(reused, nullptr);
    Document again(c.text);
    Tree fresh(parse(parser.get(), again));
    const MorvNode reusedRoot = root(reused.get()), freshRoot = root(fresh.get());
    EXPECT_EQ(sexp(reusedRoot), sexp(freshRoot));
    EXPECT_FALSE(morv_node_has_error(&reusedRoot));
    EXPECT_EQ(morv_node_end_byte(&reusedRoot), document.byteSize());
    // The old tree is untouched.
    const MorvNode oldRoot = root(old.get());
    EXPECT_EQ(morv_node_end_byte(&oldRoot), oldDocument.byteSize());
  }
}

// A read function that stores a count only on its first calls (or never).
// Every later call hands back a short buffer of its own and leaves the count
// alone: the text then ends, and nothing past the buffers is read.
struct ForgetfulReader {
  static const void *read(void *context, uint32_t byteIndex, uint32_t, uint32_t,
                          uint32_t *bytesRead) {
    auto *self = static_cast<ForgetfulReader *>(context);
    if (self->counted > 0 && byteIndex < self->text.size() * 2) {
      --self->counted;
      *bytesRead = static_cast<uint32_t>(self->text.size() * 2 - byteIndex);
      return reinterpret_cast<const char *>(self->text.data()) + byteIndex;
    }
    self->buffers.emplace_back(new char16_t[1]{u' '});
    return self->buffers.back().get();
  }
  std::u16string text;
  int counted;
  std::vector<std::unique_ptr<char16_t[]>> buffers;
};

TEST(BridgeParser, ReadFunctionThatLeavesTheCountUnsetEndsTheText) {
  const struct {
    int counted;
    const char *expected;
    uint32_t endByte;
  } cases[] = {{0, "(document)", 0}, {1, "(document (array (number) (number)))", 12}};
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::Message() << c.counted << " counted reads");
    Parser parser = jsonParser();
    ForgetfulReader reader{u"[1, 2]", c.counted, {}};
    Progress quiet;
    Tree tree(morv_parser_parse(parser.get(), nullptr, &ForgetfulReader::read, &reader,
                                &Progress::report, &quiet));
    ASSERT_NE(tree, nullptr);
    const MorvNode node = root(tree.get());
    EXPECT_EQ(sexp(node), c.expected);
    EXPECT_EQ(morv_node_end_byte(&node), c.endByte);
    EXPECT_FALSE(reader.buffers.empty());
  }
}

}  // namespace
