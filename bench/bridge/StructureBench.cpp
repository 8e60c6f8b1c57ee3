// What the structure exports cost, on the 5 MB benchmark inputs (made by
// scripts/bench-inputs.sh: java.util sources and Node.js modules, both
// without syntax errors, which is checked again here before timing):
//
//  1. The bulk export of every node through morv-ts, against a C walk with
//     the library's tree cursor writing the same records.
//  2. Fold ranges (every named node over more than one row) from the bulk
//     export, beside a full parse of the same file.
//  3. An embedded language: an HTML page of more than 5 MB generated from the
//     JavaScript input, cut into many <script> elements. After one character
//     typed inside one script, the JavaScript is re-parsed with its included
//     ranges and the edited old tree, against parsing all scripts afresh;
//     the edited script's nodes are checked against its text parsed alone.
//
// Each pair of cases runs in turns, a warm-up turn and then several measured
// ones; the medians and their ratios are printed.
//
//   structure_bench [--only=structure|--only=embedded] [java-file javascript-file]
#include <tree_sitter/api.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "morv_ts.h"
#include "TextFiles.h"

extern "C" {
const TSLanguage *tree_sitter_java(void);
const TSLanguage *tree_sitter_javascript(void);
const TSLanguage *tree_sitter_html(void);
}

namespace {

constexpr int kRounds = 7;

struct Whole {
  const std::u16string *text;
  static const void *read(void *context, uint32_t byteIndex, uint32_t, uint32_t, uint32_t *bytesRead) {
    auto *self = static_cast<Whole *>(context);
    const uint32_t size = uint32_t(self->text->size() * 2);
    *bytesRead = byteIndex < size ? size - byteIndex : 0;
    return reinterpret_cast<const char *>(self->text->data()) + (byteIndex < size ? byteIndex : 0);
  }
};

MorvTree *parse(MorvParser *parser, const std::u16string &text, const MorvTree *old = nullptr) {
  Whole input{&text};
  return morv_parser_parse(parser, old, &Whole::read, &input, nullptr, nullptr);
}

bool hasError(const MorvTree *tree) {
  MorvNode root;
  morv_tree_root(tree, &root);
  return morv_node_has_error(&root);
}

// The medians of `a` and `b`, run in turns (after one warm-up turn) so that
// a changing load of the machine falls on both alike.
std::pair<double, double> medianSecondsSideBySide(const std::function<void()> &a, const std::function<void()> &b,
                                                  int rounds = kRounds) {
  std::vector<double> timesA, timesB;
  for (int i = 0; i <= rounds; ++i) {
    for (int which = 0; which < 2; ++which) {
      const auto start = std::chrono::steady_clock::now();
      (which == 0 ? a : b)();
      const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (i > 0) (which == 0 ? timesA : timesB).push_back(t);
    }
  }
  std::sort(timesA.begin(), timesA.end());
  std::sort(timesB.begin(), timesB.end());
  return {timesA[timesA.size() / 2], timesB[timesB.size() / 2]};
}

// The records that the export writes, made with the library's cursor
// directly; the reference for the export's speed.
size_t cursorWalk(TSNode root, MorvNodeRecord *buffer, uint32_t capacity, uint64_t &checksum) {
  TSTreeCursor cursor = ts_tree_cursor_new(root);
  size_t total = 0;
  uint32_t used = 0, depth = 0;
  for (;;) {
    const TSNode node = ts_tree_cursor_current_node(&cursor);
    if (used == capacity) {
      checksum += buffer[used - 1].start_byte;
      used = 0;
    }
    MorvNodeRecord &r = buffer[used++];
    uint16_t flags = 0;
    if (ts_node_is_named(node)) flags |= MorvNodeFlagNamed;
    if (ts_node_is_missing(node)) flags |= MorvNodeFlagMissing;
    if (ts_node_is_error(node)) flags |= MorvNodeFlagError;
    if (ts_node_has_error(node)) flags |= MorvNodeFlagHasError;
    if (ts_node_is_extra(node)) flags |= MorvNodeFlagExtra;
    if (ts_node_has_changes(node)) flags |= MorvNodeFlagHasChanges;
    r.start_byte = ts_node_start_byte(node);
    r.end_byte = ts_node_end_byte(node);
    r.start_row = ts_node_start_point(node).row;
    r.end_row = ts_node_end_point(node).row;
    r.depth = depth;
    r.child_count = ts_node_child_count(node);
    r.symbol = ts_node_symbol(node);
    r.field_id = depth > 0 ? ts_tree_cursor_current_field_id(&cursor) : 0;
    r.flags = flags;
    r.reserved = 0;
    ++total;
    if (ts_tree_cursor_goto_first_child(&cursor)) {
      ++depth;
      continue;
    }
    bool more = true;
    while (!ts_tree_cursor_goto_next_sibling(&cursor)) {
      if (!ts_tree_cursor_goto_parent(&cursor)) {
        more = false;
        break;
      }
      --depth;
    }
    if (!more) break;
  }
  checksum += used > 0 ? buffer[used - 1].start_byte : 0;
  ts_tree_cursor_delete(&cursor);
  return total;
}

size_t bulkExport(MorvTreeExport *run, const MorvNode &root, MorvNodeRecord *buffer, uint32_t capacity,
                  uint64_t &checksum) {
  morv_tree_export_start(run, &root, 0, 0, UINT32_MAX);
  size_t total = 0;
  while (uint32_t n = morv_tree_export_next(run, buffer, capacity)) {
    checksum += buffer[n - 1].start_byte;
    total += n;
  }
  return total;
}

struct Input {
  const char *name;
  std::string path;
  const TSLanguage *(*language)(void);
};

void structureCases(const Input &input) {
  const std::u16string text = widen(readFile(input.path));
  MorvParser *parser = morv_parser_create();
  morv_parser_set_language(parser, input.language());
  MorvTree *tree = parse(parser, text);
  if (tree == nullptr || hasError(tree)) {
    std::fprintf(stderr, "%s does not parse without errors\n", input.path.c_str());
    std::exit(1);
  }
  MorvNode root;
  morv_tree_root(tree, &root);
  TSNode libraryRoot;
  std::memcpy(&libraryRoot, &root, sizeof root);
  const uint32_t nodes = morv_node_descendant_count(&root);
  std::printf("\n%s: %s, %.2f MB of UTF-8, %u nodes, no syntax errors\n", input.name, input.path.c_str(),
              double(readFile(input.path).size()) / 1e6, nodes);

  constexpr uint32_t kCapacity = 4096;
  std::vector<MorvNodeRecord> buffer(kCapacity);
  MorvTreeExport *run = morv_tree_export_create();
  uint64_t sumExport = 0, sumCursor = 0;
  size_t exported = 0, walked = 0;
  const auto [tExport, tCursor] = medianSecondsSideBySide(
      [&] { exported = bulkExport(run, root, buffer.data(), kCapacity, sumExport); },
      [&] { walked = cursorWalk(libraryRoot, buffer.data(), kCapacity, sumCursor); });
  if (exported != nodes || walked != nodes || sumExport != sumCursor) {
    std::fprintf(stderr, "export and cursor walk disagree: %zu, %zu nodes\n", exported, walked);
    std::exit(1);
  }
  std::printf("  %-44s %10.1f ms %8.1f Mnodes/s\n", "bulk export (morv_tree_export_next)", tExport * 1e3,
              nodes / tExport / 1e6);
  std::printf("  %-44s %10.1f ms %8.1f Mnodes/s\n", "C walk with the library's tree cursor", tCursor * 1e3,
              nodes / tCursor / 1e6);
  std::printf("  ratio export / cursor walk (nodes per second): %.3f\n", tCursor / tExport);

  // Fold ranges: every named node over more than one row.
  std::vector<std::pair<uint32_t, uint32_t>> folds;
  const auto [tFold, tParse] = medianSecondsSideBySide(
      [&] {
        folds.clear();
        morv_tree_export_start(run, &root, 0, 0, UINT32_MAX);
        while (uint32_t n = morv_tree_export_next(run, buffer.data(), kCapacity)) {
          for (uint32_t i = 0; i < n; ++i) {
            const MorvNodeRecord &r = buffer[i];
            if ((r.flags & MorvNodeFlagNamed) != 0 && r.end_row > r.start_row) folds.emplace_back(r.start_row, r.end_row);
          }
        }
      },
      [&] { morv_tree_delete(parse(parser, text)); }, 3);
  std::printf("  %-44s %10.1f ms (%zu fold ranges)\n", "fold ranges from the bulk export", tFold * 1e3, folds.size());
  std::printf("  %-44s %10.1f ms\n", "full parse", tParse * 1e3);
  std::printf("  ratio fold ranges / full parse: %.3f\n", tFold / tParse);

  morv_tree_export_delete(run);
  morv_tree_delete(tree);
  morv_parser_delete(parser);
}

// --- the embedded language ---

struct Page {
  std::u16string html;
  std::vector<MorvRange> scripts;  // raw text of every script element
};

// Statements of the JavaScript input, grouped into scripts of about 2 KB,
// with markup between them. A statement that holds "</script" or "<!--"
// would end or change the script element, so it is left out.
std::u16string makePage(const std::u16string &js) {
  MorvParser *parser = morv_parser_create();
  morv_parser_set_language(parser, tree_sitter_javascript());
  MorvTree *tree = parse(parser, js);
  MorvNode program;
  morv_tree_root(tree, &program);
  std::u16string html = u"<!DOCTYPE html>\n<html>\n<head><title>Generated</title></head>\n<body>\n";
  std::u16string script;
  int sections = 0;
  auto flush = [&] {
    if (script.empty()) return;
    html += u"<section id=\"s" + widen(std::to_string(sections)) + u"\">\n  <h2>Part " +
            widen(std::to_string(sections)) + u"</h2>\n  <p class=\"note\">Generated &amp; checked.</p>\n";
    html += u"  <script>\n" + script + u"\n  </script>\n</section>\n";
    ++sections;
    script.clear();
  };
  const uint32_t count = morv_node_child_count(&program);
  for (uint32_t i = 0; i < count; ++i) {
    MorvNode statement;
    morv_node_child(&program, i, &statement);
    const uint32_t start = morv_node_start_byte(&statement) / 2, end = morv_node_end_byte(&statement) / 2;
    std::u16string piece = js.substr(start, end - start);
    std::u16string lower = piece;
    for (char16_t &c : lower) c = (c >= u'A' && c <= u'Z') ? c + 32 : c;
    if (lower.find(u"</script") != std::u16string::npos || lower.find(u"<!--") != std::u16string::npos) continue;
    script += piece + u"\n";
    if (script.size() > 2048) flush();
  }
  flush();
  html += u"</body>\n</html>\n";
  morv_tree_delete(tree);
  morv_parser_delete(parser);
  return html;
}

std::vector<MorvRange> scriptRanges(const std::u16string &html) {
  MorvParser *parser = morv_parser_create();
  morv_parser_set_language(parser, tree_sitter_html());
  MorvTree *tree = parse(parser, html);
  if (hasError(tree)) {
    std::fprintf(stderr, "the generated page has HTML syntax errors\n");
    std::exit(1);
  }
  const uint16_t script = morv_language_symbol_for_name(tree_sitter_html(), "script_element", 14, true);
  const uint16_t raw = morv_language_symbol_for_name(tree_sitter_html(), "raw_text", 8, true);
  std::vector<MorvRange> ranges;
  MorvNode root;
  morv_tree_root(tree, &root);
  MorvTreeExport *run = morv_tree_export_create();
  morv_tree_export_start(run, &root, 0, 0, UINT32_MAX);
  std::vector<MorvNodeRecord> records(4096);
  uint16_t parentSymbolAtDepth[64] = {};
  while (uint32_t n = morv_tree_export_next(run, records.data(), uint32_t(records.size()))) {
    for (uint32_t i = 0; i < n; ++i) {
      const MorvNodeRecord &r = records[i];
      if (r.depth < 64) parentSymbolAtDepth[r.depth] = r.symbol;
      if (r.symbol == raw && r.depth > 0 && parentSymbolAtDepth[r.depth - 1] == script) {
        MorvRange range{};
        range.start_byte = r.start_byte;
        range.end_byte = r.end_byte;
        ranges.push_back(range);
      }
    }
  }
  morv_tree_export_delete(run);
  // Points from the text.
  MorvPoint p{0, 0};
  uint32_t unit = 0;
  for (MorvRange &range : ranges) {
    for (auto [byte, point] : {std::pair{range.start_byte, &range.start_point}, {range.end_byte, &range.end_point}}) {
      for (; unit < byte / 2; ++unit) {
        if (html[unit] == u'\n') {
          ++p.row;
          p.column = 0;
        } else {
          p.column += 2;
        }
      }
      *point = p;
    }
  }
  morv_tree_delete(tree);
  morv_parser_delete(parser);
  return ranges;
}

std::vector<MorvNodeRecord> records(const MorvTree *tree, uint32_t start, uint32_t end) {
  MorvNode root;
  morv_tree_root(tree, &root);
  MorvTreeExport *run = morv_tree_export_create();
  morv_tree_export_start(run, &root, start, end, UINT32_MAX);
  std::vector<MorvNodeRecord> all, buffer(4096);
  while (uint32_t n = morv_tree_export_next(run, buffer.data(), uint32_t(buffer.size()))) {
    all.insert(all.end(), buffer.begin(), buffer.begin() + n);
  }
  morv_tree_export_delete(run);
  return all;
}

void embeddedCase(const std::string &jsPath) {
  Page page;
  page.html = makePage(widen(readFile(jsPath)));
  page.scripts = scriptRanges(page.html);
  std::printf("\nembedded JavaScript: an HTML page of %.2f MB (UTF-16 %.2f MB) made from %s, %zu <script> elements\n",
              double(page.html.size()) / 1e6, double(page.html.size() * 2) / 1e6, jsPath.c_str(),
              page.scripts.size());
  if (page.html.size() < 5000000) {
    std::fprintf(stderr, "the generated page is smaller than 5 MB\n");
    std::exit(1);
  }

  // The edit: an "x" typed after the first character of an identifier in
  // the middle script.
  const size_t middle = page.scripts.size() / 2;
  MorvParser *js = morv_parser_create();
  morv_parser_set_language(js, tree_sitter_javascript());
  morv_parser_set_included_ranges(js, page.scripts.data(), uint32_t(page.scripts.size()));
  MorvTree *before = parse(js, page.html);
  if (hasError(before)) {
    std::fprintf(stderr, "the scripts of the page have JavaScript syntax errors\n");
    std::exit(1);
  }
  const uint16_t identifier = morv_language_symbol_for_name(tree_sitter_javascript(), "identifier", 10, true);
  uint32_t at = 0;
  const MorvRange &target = page.scripts[middle];
  for (const MorvNodeRecord &r : records(before, target.start_byte, target.end_byte)) {
    if (r.symbol == identifier && r.end_byte - r.start_byte >= 4 && r.start_byte >= target.start_byte) {
      at = r.start_byte + 2;
      break;
    }
  }
  morv_tree_delete(before);
  if (at == 0) {
    std::fprintf(stderr, "no identifier in the middle script\n");
    std::exit(1);
  }
  MorvPoint point{0, 0};
  for (uint32_t unit = 0; unit < at / 2; ++unit) {
    if (page.html[unit] == u'\n') {
      ++point.row;
      point.column = 0;
    } else {
      point.column += 2;
    }
  }
  // Two texts, typed into and back: each round edits the tree of the other.
  std::u16string texts[2] = {page.html, page.html};
  texts[1].insert(at / 2, 1, u'x');
  std::vector<MorvRange> ranges[2] = {page.scripts, page.scripts};
  for (size_t i = middle; i < ranges[1].size(); ++i) {
    MorvRange &r = ranges[1][i];
    if (i > middle) {
      r.start_byte += 2;
      if (r.start_point.row == point.row) r.start_point.column += 2;
    }
    r.end_byte += 2;
    if (r.end_point.row == point.row) r.end_point.column += 2;
  }

  int current = 0;
  MorvTree *tree = nullptr;
  auto freshParse = [&](int which) {
    morv_parser_set_included_ranges(js, ranges[which].data(), uint32_t(ranges[which].size()));
    return parse(js, texts[which]);
  };
  tree = freshParse(0);
  // Each turn types the "x" in, or takes it out again, and re-parses; the
  // parse from scratch reads the same text with the same ranges.
  const auto [tIncremental, tScratch] = medianSecondsSideBySide(
      [&] {
        const int next = 1 - current;
        // Typing the "x" in, or taking it out again.
        if (next == 1) {
          morv_tree_edit(tree, at, at, at + 2, point.row, point.column, point.row, point.column, point.row,
                         point.column + 2);
        } else {
          morv_tree_edit(tree, at, at + 2, at, point.row, point.column, point.row, point.column + 2, point.row,
                         point.column);
        }
        morv_parser_set_included_ranges(js, ranges[next].data(), uint32_t(ranges[next].size()));
        MorvTree *reparsed = parse(js, texts[next], tree);
        morv_tree_delete(tree);
        tree = reparsed;
        current = next;
      },
      [&] { morv_tree_delete(freshParse(1 - current)); }, 5);

  // The incremental tree equals a fresh parse, and the edited script's nodes
  // those of its text parsed alone, shifted to document offsets.
  MorvTree *fresh = freshParse(current);
  const std::vector<MorvNodeRecord> incrementalRecords = records(tree, 0, 0), freshRecords = records(fresh, 0, 0);
  // The library may attach a comment that ends a statement to the statement
  // or to its parent differently after a re-parse, also without included
  // ranges; so this is reported, and the edited script is what is checked.
  size_t firstDifference = 0;
  while (firstDifference < incrementalRecords.size() && firstDifference < freshRecords.size()) {
    MorvNodeRecord a = incrementalRecords[firstDifference], b = freshRecords[firstDifference];
    a.flags &= ~MorvNodeFlagHasChanges;
    b.flags &= ~MorvNodeFlagHasChanges;
    if (std::memcmp(&a, &b, sizeof a) != 0) break;
    ++firstDifference;
  }
  const bool same = firstDifference == freshRecords.size() && incrementalRecords.size() == freshRecords.size();
  const MorvRange &edited = ranges[current][middle];
  morv_parser_set_included_ranges(js, nullptr, 0);
  const std::u16string alone = texts[current].substr(edited.start_byte / 2, (edited.end_byte - edited.start_byte) / 2);
  MorvTree *aloneTree = parse(js, alone);
  std::vector<MorvNodeRecord> expected = records(aloneTree, 0, 0);
  expected.erase(expected.begin());  // the program node of the text alone
  std::vector<MorvNodeRecord> actual;
  for (const MorvNodeRecord &r : records(tree, edited.start_byte, edited.end_byte)) {
    if (r.depth > 0 && r.start_byte >= edited.start_byte) actual.push_back(r);
  }
  bool shifted = !hasError(aloneTree) && actual.size() == expected.size() && !expected.empty();
  for (size_t i = 0; shifted && i < expected.size(); ++i) {
    const MorvNodeRecord &a = actual[i], &e = expected[i];
    shifted = a.start_byte == e.start_byte + edited.start_byte && a.end_byte == e.end_byte + edited.start_byte &&
              a.start_row == e.start_row + edited.start_point.row && a.end_row == e.end_row + edited.start_point.row &&
              a.symbol == e.symbol && a.depth == e.depth && a.field_id == e.field_id &&
              ((a.flags ^ e.flags) & ~MorvNodeFlagHasChanges) == 0;
  }
  std::printf("  one character typed into script %zu of %zu (byte %u); %zu nodes in that script\n", middle,
              page.scripts.size(), at, expected.size());
  std::printf("  %-44s %10.2f ms\n", "re-parse with included ranges, old tree", tIncremental * 1e3);
  std::printf("  %-44s %10.2f ms\n", "parse of all scripts from scratch", tScratch * 1e3);
  std::printf("  ratio incremental / from scratch: %.4f (1/%.0f; goal at most 1/20)\n", tIncremental / tScratch,
              tScratch / tIncremental);
  if (same) {
    std::printf("  incremental tree equals a fresh parse: yes\n");
  } else {
    std::printf("  incremental tree equals a fresh parse: no, from node %zu at byte %u on (%zu and %zu nodes)\n",
                firstDifference, freshRecords[std::min(firstDifference, freshRecords.size() - 1)].start_byte,
                incrementalRecords.size(), freshRecords.size());
  }
  std::printf("  edited script's nodes equal its text parsed alone, shifted: %s\n", shifted ? "yes" : "NO");
  morv_tree_delete(aloneTree);
  morv_tree_delete(fresh);
  morv_tree_delete(tree);
  morv_parser_delete(js);
  if (!shifted) std::exit(1);
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool structure = true, embedded = true;
  if (!args.empty() && args[0].rfind("--only=", 0) == 0) {
    structure = args[0] == "--only=structure";
    embedded = args[0] == "--only=embedded";
    args.erase(args.begin());
  }
  const std::string dir = std::string(MORV_SOURCE_DIR) + "/build/inputs/";
  const std::string java = args.size() == 2 ? args[0] : dir + "java-util.java";
  const std::string javascript = args.size() == 2 ? args[1] : dir + "node-modules.js";
  const Input inputs[] = {{"Java", java, tree_sitter_java}, {"JavaScript", javascript, tree_sitter_javascript}};
  if (structure) {
    for (const Input &input : inputs) structureCases(input);
  }
  if (embedded) embeddedCase(javascript);
  return 0;
}
