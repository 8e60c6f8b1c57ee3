// The bulk export against a walk with the node functions, for whole trees,
// byte ranges, depth limits and buffers of every awkward size.
#include <tree_sitter/api.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "StructureTestSupport.h"

bool operator==(const MorvNodeRecord &a, const MorvNodeRecord &b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void PrintTo(const MorvNodeRecord &r, std::ostream *os) {
  *os << "{bytes " << r.start_byte << ".." << r.end_byte << " rows " << r.start_row << ".." << r.end_row
      << " depth " << r.depth << " children " << r.child_count << " symbol " << r.symbol << " field "
      << r.field_id << " flags " << r.flags << " reserved " << r.reserved << "}";
}

namespace {

using namespace bridge_test;

// The records that an export must give, found with the node functions and
// rows counted in the text itself.
class Reference {
 public:
  Reference(const TSLanguage *language, const std::u16string &text) : language_(language) {
    lineStarts_.push_back(0);
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\n') lineStarts_.push_back(uint32_t(2 * (i + 1)));
    }
  }

  std::vector<MorvNodeRecord> records(const MorvNode &node, uint32_t start, uint32_t end, uint32_t maxDepth) const {
    std::vector<MorvNodeRecord> out;
    visit(node, 0, 0, start, end == 0 ? UINT32_MAX : end, maxDepth, out);
    return out;
  }

 private:
  uint32_t row(uint32_t byte) const {
    return uint32_t(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), byte) - lineStarts_.begin() - 1);
  }

  void visit(const MorvNode &node, uint32_t depth, uint16_t field, uint32_t start, uint32_t end,
             uint32_t maxDepth, std::vector<MorvNodeRecord> &out) const {
    const uint32_t s = morv_node_start_byte(&node), e = morv_node_end_byte(&node);
    const bool overlaps = s < end && e >= start;
    if (!overlaps) return;
    TSNode raw;
    std::memcpy(&raw, &node, sizeof raw);
    MorvNodeRecord r{};
    r.start_byte = s;
    r.end_byte = e;
    r.start_row = row(s);
    r.end_row = row(e);
    r.depth = depth;
    r.child_count = morv_node_child_count(&node);
    r.symbol = morv_node_symbol(&node);
    r.field_id = field;
    r.flags = uint16_t((morv_node_is_named(&node) ? MorvNodeFlagNamed : 0) |
                       (morv_node_is_missing(&node) ? MorvNodeFlagMissing : 0) |
                       (morv_node_is_error(&node) ? MorvNodeFlagError : 0) |
                       (morv_node_has_error(&node) ? MorvNodeFlagHasError : 0) |
                       (morv_node_is_extra(&node) ? MorvNodeFlagExtra : 0) |
                       (ts_node_has_changes(raw) ? MorvNodeFlagHasChanges : 0));
    out.push_back(r);
    if (depth >= maxDepth) return;
    for (uint32_t i = 0; i < r.child_count; ++i) {
      MorvNode c;
      morv_node_child(&node, i, &c);
      const char *name = morv_node_field_name_for_child(&node, i);
      const uint16_t id = name != nullptr ? morv_language_field_id(language_, name, uint32_t(std::strlen(name))) : 0;
      visit(c, depth + 1, id, start, end, maxDepth, out);
    }
  }

  const TSLanguage *language_;
  std::vector<uint32_t> lineStarts_;
};

// Runs an export to its end with buffers of `capacity` records; every call
// but the last ones fills its buffer.
std::vector<MorvNodeRecord> exportAll(MorvTreeExport *run, uint32_t capacity) {
  std::vector<MorvNodeRecord> all;
  std::vector<MorvNodeRecord> buffer(capacity + 1);
  const MorvNodeRecord guard = {0xdead, 0xbeef, 1, 2, 3, 4, 5, 6, 7, 8};
  for (;;) {
    buffer[capacity] = guard;
    const uint32_t written = morv_tree_export_next(run, buffer.data(), capacity);
    EXPECT_TRUE(buffer[capacity] == guard) << "wrote past the capacity";
    EXPECT_LE(written, capacity);
    if (written == 0) break;
    if (written < capacity) {
      EXPECT_EQ(morv_tree_export_next(run, buffer.data(), capacity), 0u) << "a short batch ends the run";
    }
    all.insert(all.end(), buffer.begin(), buffer.begin() + written);
  }
  return all;
}

struct Sample {
  const char *name;
  const TSLanguage *(*language)(void);
  std::u16string text;
};

std::vector<Sample> samples() {
  return {
      {"javascript grammar", tree_sitter_javascript, widen(grammarFile("tree-sitter-javascript/grammar.js"))},
      {"java probe", tree_sitter_java,
       widen(readFile(std::string(MORV_SOURCE_DIR) + "/tests/e2e/linux/probe/probe/Main.java"))},
      // Errors and a missing node in the middle: the flags must show them.
      {"broken javascript", tree_sitter_javascript,
       u"function f(a) {\n  if (a { return 1; }\n  let x = [1, 2;\n  return g(x\n}\n/* ü */ f(2);\n"},
  };
}

TEST(BridgeTreeExport, WholeTreesInBuffersOfEverySize) {
  TreeExportPtr run(morv_tree_export_create());
  for (const Sample &sample : samples()) {
    SCOPED_TRACE(sample.name);
    ParserPtr parser = parserFor(sample.language());
    TreePtr tree = parseText(parser.get(), sample.text);
    const MorvNode top = root(tree.get());
    const std::vector<MorvNodeRecord> expected =
        Reference(sample.language(), sample.text).records(top, 0, 0, UINT32_MAX);
    ASSERT_EQ(expected.size(), morv_node_descendant_count(&top));
    const uint32_t total = uint32_t(expected.size());
    for (uint32_t capacity : {total + 5, total, total - 1, 1u, 7u, 4096u}) {
      SCOPED_TRACE(::testing::Message() << "capacity " << capacity);
      ASSERT_TRUE(morv_tree_export_start(run.get(), &top, 0, 0, UINT32_MAX));
      EXPECT_EQ(exportAll(run.get(), capacity), expected);
    }
    // One short by one: a full buffer, then the last node, then the end.
    std::vector<MorvNodeRecord> buffer(total);
    ASSERT_TRUE(morv_tree_export_start(run.get(), &top, 0, 0, UINT32_MAX));
    EXPECT_EQ(morv_tree_export_next(run.get(), buffer.data(), total - 1), total - 1);
    EXPECT_EQ(morv_tree_export_next(run.get(), buffer.data(), total - 1), 1u);
    EXPECT_TRUE(buffer[0] == expected.back());
    EXPECT_EQ(morv_tree_export_next(run.get(), buffer.data(), total - 1), 0u);
  }
}

TEST(BridgeTreeExport, FlagsShowErrorsMissingNodesAndExtras) {
  const Sample broken = samples()[2];
  ParserPtr parser = parserFor(broken.language());
  TreePtr tree = parseText(parser.get(), broken.text);
  const MorvNode top = root(tree.get());
  TreeExportPtr run(morv_tree_export_create());
  ASSERT_TRUE(morv_tree_export_start(run.get(), &top, 0, 0, UINT32_MAX));
  uint16_t seen = 0;
  for (const MorvNodeRecord &r : exportAll(run.get(), 64)) seen |= r.flags;
  const uint16_t all = MorvNodeFlagNamed | MorvNodeFlagMissing | MorvNodeFlagError | MorvNodeFlagHasError |
                       MorvNodeFlagExtra;
  EXPECT_EQ(seen & all, all);
}

TEST(BridgeTreeExport, ByteRangesDepthLimitsAndSubtrees) {
  for (const Sample &sample : samples()) {
    SCOPED_TRACE(sample.name);
    ParserPtr parser = parserFor(sample.language());
    TreePtr tree = parseText(parser.get(), sample.text);
    const MorvNode top = root(tree.get());
    const Reference reference(sample.language(), sample.text);
    const uint32_t size = morv_node_end_byte(&top);
    // A node halfway down the tree, for a subtree export.
    MorvNode inner = top;
    while (morv_node_child_count(&inner) > 0 && morv_node_descendant_count(&inner) > 40) {
      MorvNode next;
      morv_node_child(&inner, morv_node_child_count(&inner) / 2, &next);
      inner = next;
    }
    std::vector<MorvNode> missing;
    std::vector<Visit> nodes;
    walkByIndex(top, 0, "", nodes);
    for (const Visit &v : nodes) {
      if (morv_node_is_missing(&v.node)) missing.push_back(v.node);
    }
    const struct {
      const char *name;
      MorvNode node;
      uint32_t start, end, maxDepth;
    } cases[] = {
        {"middle third", top, size / 3, 2 * size / 3, UINT32_MAX},
        {"odd bytes", top, size / 2 + 1, size / 2 + 3, UINT32_MAX},
        {"empty range", top, size / 2, size / 2, UINT32_MAX},
        {"from the middle, no end", top, size / 2, 0, UINT32_MAX},
        {"past the end", top, size + 2, 0, UINT32_MAX},
        {"depth 0", top, 0, 0, 0},
        {"depth 1", top, 0, 0, 1},
        {"depth 3", top, 0, 0, 3},
        {"depth 3 in a range", top, size / 4, size / 2, 3},
        {"subtree", inner, 0, 0, UINT32_MAX},
        {"subtree, depth 1", inner, 0, 0, 1},
        {"subtree, its second half", inner, (morv_node_start_byte(&inner) + morv_node_end_byte(&inner)) / 2, 0,
         UINT32_MAX},
        {"at a missing node", top, missing.empty() ? 0 : morv_node_start_byte(&missing[0]),
         missing.empty() ? 0 : morv_node_start_byte(&missing[0]) + 2, UINT32_MAX},
    };
    TreeExportPtr run(morv_tree_export_create());
    for (size_t i = 0; i < std::size(cases); ++i) {
      const auto &c = cases[i];
      SCOPED_TRACE(::testing::Message() << "case " << i << ": " << c.name);
      const std::vector<MorvNodeRecord> expected = reference.records(c.node, c.start, c.end, c.maxDepth);
      ASSERT_TRUE(morv_tree_export_start(run.get(), &c.node, c.start, c.end, c.maxDepth));
      const std::vector<MorvNodeRecord> actual = exportAll(run.get(), 5);
      EXPECT_EQ(actual, expected);
      if (std::string(c.name) == "at a missing node" && !missing.empty()) {
        EXPECT_TRUE(std::any_of(actual.begin(), actual.end(),
                                [](const MorvNodeRecord &r) { return (r.flags & MorvNodeFlagMissing) != 0; }));
      }
    }
  }
}

TEST(BridgeTreeExport, EditedNodesAreFlaggedAndARunRestarts) {
  ParserPtr parser = parserFor(tree_sitter_json());
  const std::u16string text = u"[1, [2, 3], {\"a\": 4}]";
  TreePtr tree = parseText(parser.get(), text);
  // "3" becomes "35".
  const uint32_t at = byteOffsetOf(text, u"3") + 2;
  morv_tree_edit(tree.get(), at, at, at + 2, 0, at, 0, at, 0, at + 2);
  std::u16string edited = text;
  edited.insert(at / 2, 1, u'5');
  const MorvNode top = root(tree.get());
  TreeExportPtr run(morv_tree_export_create());
  ASSERT_TRUE(morv_tree_export_start(run.get(), &top, 0, 0, UINT32_MAX));
  std::vector<MorvNodeRecord> first(3);
  ASSERT_EQ(morv_tree_export_next(run.get(), first.data(), 3), 3u);
  // A new start abandons the half-done run.
  ASSERT_TRUE(morv_tree_export_start(run.get(), &top, 0, 0, UINT32_MAX));
  const std::vector<MorvNodeRecord> actual = exportAll(run.get(), 100);
  EXPECT_EQ(actual, Reference(tree_sitter_json(), edited).records(top, 0, 0, UINT32_MAX));
  size_t changed = 0;
  for (const MorvNodeRecord &r : actual) changed += (r.flags & MorvNodeFlagHasChanges) != 0;
  EXPECT_EQ(changed, 4u) << "document, outer array, inner array, the number";
}

// An edit while a run or a tree cursor goes on shifts the offsets under
// them, but neither reads freed memory and both come to their end; a new run
// sees the edited tree.
TEST(BridgeTreeExport, AnEditDuringARunEndsItSafely) {
  ParserPtr parser = parserFor(tree_sitter_javascript());
  std::u16string text = widen(grammarFile("tree-sitter-javascript/grammar.js"));
  TreePtr tree = parseText(parser.get(), text);
  const MorvNode top = root(tree.get());
  TreeExportPtr run(morv_tree_export_create());
  TreeCursorPtr cursor(morv_tree_cursor_create(&top));
  ASSERT_TRUE(morv_tree_export_start(run.get(), &top, 0, 0, UINT32_MAX));
  std::vector<MorvNodeRecord> buffer(500);
  ASSERT_EQ(morv_tree_export_next(run.get(), buffer.data(), 500), 500u);
  for (int i = 0; i < 40; ++i) {
    if (!morv_tree_cursor_goto_first_child(cursor.get())) morv_tree_cursor_goto_next_sibling(cursor.get());
  }
  // Ten lines deleted from the start, where the run has been.
  uint32_t cut = 0, rows = 0;
  while (rows < 10) rows += text[cut++] == u'\n';
  morv_tree_edit(tree.get(), 0, 2 * cut, 0, 0, 0, rows, 0, 0, 0);
  text.erase(0, cut);
  size_t more = 0;
  while (uint32_t n = morv_tree_export_next(run.get(), buffer.data(), 500)) more += n;
  EXPECT_GT(more, 0u);
  while (morv_tree_cursor_goto_next_sibling(cursor.get()) || morv_tree_cursor_goto_parent(cursor.get())) {
  }
  const MorvNode edited = root(tree.get());
  ASSERT_TRUE(morv_tree_export_start(run.get(), &edited, 0, 0, UINT32_MAX));
  EXPECT_EQ(exportAll(run.get(), 500), Reference(tree_sitter_javascript(), text).records(edited, 0, 0, UINT32_MAX));
}

TEST(BridgeTreeExport, RefusedStartsLeaveNoRun) {
  ParserPtr parser = parserFor(tree_sitter_json());
  TreePtr tree = parseText(parser.get(), u"[1, 2]");
  const MorvNode top = root(tree.get());
  const MorvNode nullNode{};
  TreeExportPtr run(morv_tree_export_create());
  MorvNodeRecord records[8];
  const struct {
    const char *name;
    const void *node;
    uint32_t start, end;
  } cases[] = {
      {"null address", nullptr, 0, 0},
      {"null node", &nullNode, 0, 0},
      {"start after end", &top, 6, 4},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(morv_tree_export_start(run.get(), &top, 0, 0, UINT32_MAX));
    EXPECT_FALSE(morv_tree_export_start(run.get(), c.node, c.start, c.end, UINT32_MAX));
    EXPECT_EQ(morv_tree_export_next(run.get(), records, 8), 0u);
  }
  // Never started.
  TreeExportPtr fresh(morv_tree_export_create());
  EXPECT_EQ(morv_tree_export_next(fresh.get(), records, 8), 0u);
}

}  // namespace
