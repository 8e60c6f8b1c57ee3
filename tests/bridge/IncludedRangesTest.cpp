// Embedded languages: the scripts of an HTML page parsed through included
// ranges give the nodes of the extracted script text, at document offsets.
#include <gtest/gtest.h>

#include "StructureTestSupport.h"

namespace {

using namespace bridge_test;

struct Shape {
  uint32_t start, end, startRow, endRow;
  uint16_t symbol;
  uint32_t depth;
  bool operator==(const Shape &o) const {
    return start == o.start && end == o.end && startRow == o.startRow && endRow == o.endRow &&
           symbol == o.symbol && depth == o.depth;
  }
};

std::ostream &operator<<(std::ostream &os, const Shape &s) {
  return os << "{" << s.start << ".." << s.end << " rows " << s.startRow << ".." << s.endRow << " symbol "
            << s.symbol << " depth " << s.depth << "}";
}

std::vector<Shape> shapes(const MorvTree *tree) {
  std::vector<Shape> out;
  MorvNode top = root(tree);
  TreeExportPtr run(morv_tree_export_create());
  EXPECT_TRUE(morv_tree_export_start(run.get(), &top, 0, 0, UINT32_MAX));
  std::vector<MorvNodeRecord> records(256);
  while (uint32_t n = morv_tree_export_next(run.get(), records.data(), uint32_t(records.size()))) {
    for (uint32_t i = 0; i < n; ++i) {
      const MorvNodeRecord &r = records[i];
      out.push_back({r.start_byte, r.end_byte, r.start_row, r.end_row, r.symbol, r.depth});
    }
  }
  return out;
}

// The ranges of the raw text of every script element of an HTML tree.
std::vector<MorvRange> scriptRanges(const MorvTree *html, const std::u16string &text) {
  std::vector<MorvRange> ranges;
  std::vector<Visit> nodes;
  walkByIndex(root(html), 0, "", nodes);
  for (const Visit &v : nodes) {
    if (symbolName(tree_sitter_html(), v.node) != "raw_text") continue;
    MorvNode parent;
    morv_node_parent(&v.node, &parent);
    if (symbolName(tree_sitter_html(), parent) != "script_element") continue;
    MorvRange range{};
    range.start_byte = morv_node_start_byte(&v.node);
    range.end_byte = morv_node_end_byte(&v.node);
    ranges.push_back(range);
  }
  // Points from the text, so that nothing here depends on node points.
  for (MorvRange &range : ranges) {
    for (auto [byte, point] : {std::pair{range.start_byte, &range.start_point}, {range.end_byte, &range.end_point}}) {
      MorvPoint p{0, 0};
      for (uint32_t unit = 0; unit < byte / 2; ++unit) {
        if (text[unit] == u'\n') {
          ++p.row;
          p.column = 0;
        } else {
          p.column += 2;
        }
      }
      *point = p;
    }
  }
  return ranges;
}

class BridgeIncludedRanges : public ::testing::Test {
 protected:
  void SetUp() override {
    page = widen(readFile(std::string(MORV_SOURCE_DIR) + "/tests/bridge/fixtures/page.html"));
    ParserPtr htmlParser = parserFor(tree_sitter_html());
    html = parseText(htmlParser.get(), page);
    ASSERT_NE(html, nullptr);
    MorvNode top = root(html.get());
    ASSERT_FALSE(morv_node_has_error(&top));
    ranges = scriptRanges(html.get(), page);
    ASSERT_EQ(ranges.size(), 2u);
    js = parserFor(tree_sitter_javascript());
  }

  std::u16string textOf(const MorvRange &r) const {
    return page.substr(r.start_byte / 2, (r.end_byte - r.start_byte) / 2);
  }

  std::u16string page;
  TreePtr html;
  std::vector<MorvRange> ranges;
  ParserPtr js;
};

TEST_F(BridgeIncludedRanges, OneScriptGivesTheNodesOfItsTextShifted) {
  for (size_t s = 0; s < ranges.size(); ++s) {
    SCOPED_TRACE(::testing::Message() << "script " << s);
    const MorvRange range = ranges[s];
    ASSERT_TRUE(morv_parser_set_included_ranges(js.get(), &range, 1));
    TreePtr embedded = parseText(js.get(), page);
    ASSERT_TRUE(morv_parser_set_included_ranges(js.get(), nullptr, 0));
    TreePtr alone = parseText(js.get(), textOf(range));
    MorvNode aloneRoot = root(alone.get());
    ASSERT_FALSE(morv_node_has_error(&aloneRoot));

    std::vector<Shape> expected = shapes(alone.get());
    for (Shape &shape : expected) {
      shape.start += range.start_byte;
      shape.end += range.start_byte;
      shape.startRow += range.start_point.row;
      shape.endRow += range.start_point.row;
    }
    std::vector<Shape> actual = shapes(embedded.get());
    // The alone parse's root spans the whole text; the embedded one starts
    // at the first token, like every node below it.
    ASSERT_FALSE(actual.empty());
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 1; i < expected.size(); ++i) {
      ASSERT_EQ(actual[i], expected[i]) << "node " << i;
    }
    MorvRange back[3];
    ASSERT_EQ(morv_tree_included_ranges(embedded.get(), back, 3), 1u);
    EXPECT_EQ(std::memcmp(&back[0], &range, sizeof range), 0);
  }
}

// Both scripts at once read like their concatenation: offsets map back
// piecewise, a node's start into the range it starts in, its end into the
// range it ends in.
TEST_F(BridgeIncludedRanges, SeveralScriptsReadAsTheirConcatenation) {
  ASSERT_TRUE(morv_parser_set_included_ranges(js.get(), ranges.data(), uint32_t(ranges.size())));
  TreePtr embedded = parseText(js.get(), page);
  ASSERT_TRUE(morv_parser_set_included_ranges(js.get(), nullptr, 0));
  std::u16string joined;
  std::vector<uint32_t> joinedStart;
  for (const MorvRange &r : ranges) {
    joinedStart.push_back(uint32_t(joined.size() * 2));
    joined += textOf(r);
  }
  TreePtr alone = parseText(js.get(), joined);
  auto mapStart = [&](uint32_t byte) {
    size_t i = ranges.size() - 1;
    while (i > 0 && byte < joinedStart[i]) --i;
    return ranges[i].start_byte + (byte - joinedStart[i]);
  };
  auto mapEnd = [&](uint32_t byte) {
    size_t i = ranges.size() - 1;
    while (i > 0 && byte <= joinedStart[i]) --i;
    return ranges[i].start_byte + (byte - joinedStart[i]);
  };
  const std::vector<Shape> expected = shapes(alone.get());
  const std::vector<Shape> actual = shapes(embedded.get());
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 1; i < expected.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "node " << i);
    EXPECT_EQ(actual[i].symbol, expected[i].symbol);
    EXPECT_EQ(actual[i].depth, expected[i].depth);
    EXPECT_EQ(actual[i].start, mapStart(expected[i].start));
    EXPECT_EQ(actual[i].end, mapEnd(expected[i].end));
  }
  MorvRange back[2];
  ASSERT_EQ(morv_tree_included_ranges(embedded.get(), back, 1), 2u) << "the total, one written";
  EXPECT_EQ(std::memcmp(&back[0], &ranges[0], sizeof back[0]), 0);
  ASSERT_EQ(morv_tree_included_ranges(embedded.get(), nullptr, 5), 2u);
}

// An edit inside one script, re-parsed with the edited old tree and the
// shifted ranges, gives the tree of a fresh parse of the new page.
TEST_F(BridgeIncludedRanges, IncrementalReparseEqualsAFreshOne) {
  ASSERT_TRUE(morv_parser_set_included_ranges(js.get(), ranges.data(), uint32_t(ranges.size())));
  TreePtr old = parseText(js.get(), page);
  const std::u16string needle = u"sum += cents";
  const uint32_t at = byteOffsetOf(page, needle) + 2 * uint32_t(needle.size()) - 2;  // before the "s"
  ASSERT_GT(at, ranges[1].start_byte);
  std::u16string edited = page;
  edited.insert(at / 2, 1, u'x');  // centxs
  MorvPoint point{0, 0};
  for (uint32_t unit = 0; unit < at / 2; ++unit) {
    if (page[unit] == u'\n') { ++point.row; point.column = 0; } else { point.column += 2; }
  }
  morv_tree_edit(old.get(), at, at, at + 2, point.row, point.column, point.row, point.column, point.row,
                 point.column + 2);
  std::vector<MorvRange> shifted = ranges;
  shifted[1].end_byte += 2;
  ASSERT_TRUE(morv_parser_set_included_ranges(js.get(), shifted.data(), uint32_t(shifted.size())));
  Document document(edited);
  TreePtr incremental(parse(js.get(), document, old.get()));
  ASSERT_NE(incremental, nullptr);
  TreePtr fresh = parseText(js.get(), edited);
  EXPECT_EQ(shapes(incremental.get()), shapes(fresh.get()));
  EXPECT_EQ(sexp(root(incremental.get())), sexp(root(fresh.get())));
  std::vector<Shape> after = shapes(fresh.get());
  EXPECT_TRUE(std::any_of(after.begin(), after.end(), [&](const Shape &s) { return s.start == at - 8 && s.end == at + 4; }))
      << "the identifier centxs";
}

TEST_F(BridgeIncludedRanges, BadRangesLeaveTheParserAsItWas) {
  const MorvRange a = ranges[0], b = ranges[1];
  MorvRange reversed = a;
  std::swap(reversed.start_byte, reversed.end_byte);
  MorvRange pointsReversed = a;
  std::swap(pointsReversed.start_point, pointsReversed.end_point);
  MorvRange overlapping = b;
  overlapping.start_byte = a.end_byte - 2;
  MorvRange pointOverlap = b;
  pointOverlap.start_point = a.start_point;
  const struct {
    const char *name;
    std::vector<MorvRange> list;
    bool accepted;
  } cases[] = {
      {"in order", {a, b}, true},
      {"touching", {a, MorvRange{a.end_point, b.end_point, a.end_byte, b.end_byte}}, true},
      {"empty range", {MorvRange{a.start_point, a.start_point, a.start_byte, a.start_byte}}, true},
      {"out of order", {b, a}, false},
      {"overlapping", {a, overlapping}, false},
      {"end before start", {reversed}, false},
      {"end point before start point", {pointsReversed}, false},
      {"points out of order", {a, pointOverlap}, false},
  };
  const MorvRange whole{{0, 0}, {UINT32_MAX, UINT32_MAX}, 0, UINT32_MAX};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto &c = cases[i];
    SCOPED_TRACE(::testing::Message() << "case " << i << ": " << c.name);
    ASSERT_TRUE(morv_parser_set_included_ranges(js.get(), &b, 1));
    EXPECT_EQ(morv_parser_set_included_ranges(js.get(), c.list.data(), uint32_t(c.list.size())), c.accepted);
    TreePtr tree = parseText(js.get(), page);
    const std::vector<MorvRange> &now = c.accepted ? c.list : std::vector<MorvRange>{b};
    std::vector<MorvRange> back(now.size() + 1);
    ASSERT_EQ(morv_tree_included_ranges(tree.get(), back.data(), uint32_t(back.size())), now.size());
    EXPECT_EQ(std::memcmp(back.data(), now.data(), now.size() * sizeof(MorvRange)), 0);
  }
  // Null with a count is refused; a count of 0 is the whole document again.
  ASSERT_TRUE(morv_parser_set_included_ranges(js.get(), &b, 1));
  EXPECT_FALSE(morv_parser_set_included_ranges(js.get(), nullptr, 2));
  TreePtr still = parseText(js.get(), page);
  MorvRange back{};
  ASSERT_EQ(morv_tree_included_ranges(still.get(), &back, 1), 1u);
  EXPECT_EQ(back.start_byte, b.start_byte);
  EXPECT_TRUE(morv_parser_set_included_ranges(js.get(), &b, 0));
  TreePtr whole_ = parseText(js.get(), page);
  ASSERT_EQ(morv_tree_included_ranges(whole_.get(), &back, 1), 1u);
  EXPECT_EQ(std::memcmp(&back, &whole, sizeof back), 0);
  MorvNode top = root(whole_.get());
  EXPECT_TRUE(morv_node_has_error(&top)) << "HTML read as JavaScript";
}

}  // namespace
