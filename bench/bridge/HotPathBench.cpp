// The editor's hot path in C, side by side with its references, on large real
// files (the paths given on the command line, made by scripts/bench-inputs.sh):
//
//  1. whole-file highlight spans through morv_cursor_exec_text +
//     morv_cursor_next_captures, against tree-sitter's own cursor plus a
//     predicate evaluation in C (same regular-expression engine);
//  2. the keystroke loop: 1,000 random one-character insertions and deletions
//     in the middle third of the file, each: edit, morv_parser_parse_utf16
//     with the old tree, changed ranges, re-query of the changed ranges and
//     the edited range; p50/p99 against the re-parse alone and a full
//     re-highlight, and what the changed ranges alone cost;
//  3. cancellation latency: a flag set from another thread at a random moment
//     of a full parse, p99 over 100 tries, against the full parse;
//  4. the native memory of the parsed file beside its size.
//
// Every input is checked to parse without errors before it is timed.
#include <tree_sitter/api.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include "morv_ts.h"
#include "TextFiles.h"

extern "C" {
const TSLanguage *tree_sitter_java(void);
const TSLanguage *tree_sitter_javascript(void);
}

namespace {

using Clock = std::chrono::steady_clock;

double millisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, size_t(p * double(values.size())));
  return values[index];
}

double median(std::vector<double> values) { return percentile(std::move(values), 0.5); }

uint32_t bytes(const std::u16string &text) { return uint32_t(text.size() * 2); }

// The reference: tree-sitter's cursor and the highlight predicates evaluated
// per match in C, as a C caller of the library would write it.
class DirectHighlighter {
 public:
  DirectHighlighter(const TSLanguage *language, const std::string &source) {
    uint32_t offset = 0;
    TSQueryError error;
    query_ = ts_query_new(language, source.data(), uint32_t(source.size()), &offset, &error);
    cursor_ = ts_query_cursor_new();
    data_ = pcre2_match_data_create_16(1, nullptr);
    for (uint32_t p = 0; p < ts_query_pattern_count(query_); ++p) {
      uint32_t count = 0;
      const TSQueryPredicateStep *steps = ts_query_predicates_for_pattern(query_, p, &count);
      std::vector<Predicate> list;
      for (uint32_t i = 0; i < count;) {
        uint32_t end = i;
        while (end < count && steps[end].type != TSQueryPredicateStepTypeDone) ++end;
        if (end - i == 3 && steps[i].type == TSQueryPredicateStepTypeString &&
            steps[i + 1].type == TSQueryPredicateStepTypeCapture && steps[i + 2].type == TSQueryPredicateStepTypeString) {
          uint32_t length = 0;
          const char *op = ts_query_string_value_for_id(query_, steps[i].value_id, &length);
          const std::string name(op, length);
          Predicate predicate{};
          predicate.capture = steps[i + 1].value_id;
          predicate.negate = name.find("not-") != std::string::npos;
          const char *value = ts_query_string_value_for_id(query_, steps[i + 2].value_id, &length);
          predicate.value = widen(std::string(value, length));
          if (name.find("match?") != std::string::npos) {
            int code;
            PCRE2_SIZE at;
            predicate.regex = pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(predicate.value.data()),
                                               predicate.value.size(), PCRE2_UTF, &code, &at, nullptr);
          }
          if (name.find("eq?") != std::string::npos || predicate.regex != nullptr) list.push_back(predicate);
        }
        i = end + 1;
      }
      predicates_.push_back(list);
    }
  }
  ~DirectHighlighter() {
    for (auto &list : predicates_)
      for (auto &p : list) pcre2_code_free_16(p.regex);
    pcre2_match_data_free_16(data_);
    ts_query_cursor_delete(cursor_);
    ts_query_delete(query_);
  }

  size_t run(TSNode root, const std::u16string &text) {
    ts_query_cursor_exec(cursor_, query_, root);
    TSQueryMatch match;
    uint32_t index;
    size_t spans = 0;
    uint32_t lastPassed = UINT32_MAX;
    while (ts_query_cursor_next_capture(cursor_, &match, &index)) {
      if (match.id != lastPassed && !predicates_[match.pattern_index].empty()) {
        if (!pass(match, text)) {
          ts_query_cursor_remove_match(cursor_, match.id);
          continue;
        }
        lastPassed = match.id;
      }
      sink_ += ts_node_start_byte(match.captures[index].node);
      ++spans;
    }
    return spans;
  }

  uint64_t sink_ = 0;

 private:
  struct Predicate {
    uint32_t capture;
    bool negate;
    std::u16string value;
    pcre2_code_16 *regex;
  };

  bool pass(const TSQueryMatch &match, const std::u16string &text) {
    for (const Predicate &p : predicates_[match.pattern_index]) {
      for (uint16_t i = 0; i < match.capture_count; ++i) {
        if (match.captures[i].index != p.capture) continue;
        const uint32_t start = ts_node_start_byte(match.captures[i].node) / 2;
        const uint32_t end = ts_node_end_byte(match.captures[i].node) / 2;
        bool hit;
        if (p.regex != nullptr) {
          hit = pcre2_match_16(p.regex, reinterpret_cast<PCRE2_SPTR16>(text.data() + start), end - start, 0, 0, data_,
                               nullptr) >= 0;
        } else {
          hit = end - start == p.value.size() && std::memcmp(text.data() + start, p.value.data(), p.value.size() * 2) == 0;
        }
        if (hit == p.negate) return false;
      }
    }
    return true;
  }

  TSQuery *query_ = nullptr;
  TSQueryCursor *cursor_ = nullptr;
  pcre2_match_data_16 *data_ = nullptr;
  std::vector<std::vector<Predicate>> predicates_;
};

struct Bridge {
  Bridge(const TSLanguage *language, const std::string &source) {
    parser = morv_parser_create();
    morv_parser_set_language(parser, language);
    uint32_t offset = 0, type = 0;
    query = morv_query_new(language, source.data(), uint32_t(source.size()), &offset, &type);
    cursor = morv_cursor_create();
  }
  ~Bridge() {
    morv_cursor_delete(cursor);
    morv_query_delete(query);
    morv_parser_delete(parser);
  }

  size_t highlight(const MorvTree *tree, const std::u16string &text) {
    MorvNode root;
    morv_tree_root(tree, &root);
    morv_cursor_exec_text(cursor, query, &root, text.data(), bytes(text));
    return drain();
  }

  size_t drain() {
    size_t total = 0;
    while (uint32_t n = morv_cursor_next_captures(cursor, spans, kCapacity)) {
      for (uint32_t i = 0; i < n; ++i) sink += spans[i].start_byte;
      total += n;
    }
    return total;
  }

  static constexpr uint32_t kCapacity = 4096;
  MorvParser *parser;
  MorvQuery *query;
  MorvCursor *cursor;
  MorvCaptureSpan spans[kCapacity];
  uint64_t sink = 0;
};

MorvPoint pointAt(const std::u16string &text, size_t units) {
  MorvPoint point{0, 0};
  size_t lineStart = 0;
  for (size_t i = 0; i < units; ++i) {
    if (text[i] == u'\n') {
      point.row++;
      lineStart = i + 1;
    }
  }
  point.column = uint32_t((units - lineStart) * 2);
  return point;
}

size_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

void benchFile(const char *label, const std::string &path, const TSLanguage *language, const std::string &grammar) {
  const std::string utf8 = readFile(path);
  const std::u16string original = widen(utf8);
  const std::string source = readFile(std::string(MORV_GRAMMARS_DIR) + "/tree-sitter-" + grammar + "/queries/highlights.scm");
  std::printf("\n== %s: %s, %zu bytes UTF-8, %u bytes UTF-16; highlights.scm of tree-sitter-%s\n", label, path.c_str(),
              utf8.size(), bytes(original), grammar.c_str());

  Bridge bridge(language, source);
  const size_t heapBefore = heapInUse();
  MorvTree *tree = morv_parser_parse_utf16(bridge.parser, nullptr, original.data(), bytes(original), nullptr, 0);
  const size_t treeBytes = heapInUse() - heapBefore;
  MorvNode root;
  morv_tree_root(tree, &root);
  if (tree == nullptr || morv_node_has_error(&root)) {
    std::printf("input does not parse without errors; not timed\n");
    std::exit(1);
  }
  std::printf("memory: parsed tree %.1f MB native heap for %.1f MB of UTF-8 (%.1f MB UTF-16): %.2f x the UTF-16 text\n",
              treeBytes / 1e6, utf8.size() / 1e6, bytes(original) / 1e6, double(treeBytes) / bytes(original));

  // 1. Whole-file highlight.
  TSParser *directParser = ts_parser_new();
  ts_parser_set_language(directParser, language);
  TSTree *directTree = ts_parser_parse_string_encoding(directParser, nullptr, reinterpret_cast<const char *>(original.data()),
                                                       bytes(original), TSInputEncodingUTF16LE);
  DirectHighlighter direct(language, source);
  const int rounds = 5;
  std::vector<double> bridgeMs, directMs, parseMs, directParseMs;
  size_t bridgeSpans = 0, directSpans = 0;
  for (int r = 0; r < rounds + 1; ++r) {
    Clock::time_point t = Clock::now();
    bridgeSpans = bridge.highlight(tree, original);
    const double b = millisSince(t);
    t = Clock::now();
    directSpans = direct.run(ts_tree_root_node(directTree), original);
    const double d = millisSince(t);
    if (r > 0) {  // the first round warms up
      bridgeMs.push_back(b);
      directMs.push_back(d);
    }
  }
  for (int r = 0; r < 3; ++r) {
    Clock::time_point t = Clock::now();
    MorvTree *again = morv_parser_parse_utf16(bridge.parser, nullptr, original.data(), bytes(original), nullptr, 0);
    parseMs.push_back(millisSince(t));
    morv_tree_delete(again);
    t = Clock::now();
    TSTree *directAgain = ts_parser_parse_string_encoding(directParser, nullptr, reinterpret_cast<const char *>(original.data()),
                                                          bytes(original), TSInputEncodingUTF16LE);
    directParseMs.push_back(millisSince(t));
    ts_tree_delete(directAgain);
  }
  const double fullHighlight = median(bridgeMs);
  const double fullParse = median(parseMs);
  std::printf("highlight: bridge exec_text+next_captures %.1f ms (%zu spans), tree-sitter cursor + C predicates %.1f ms "
              "(%zu spans); bridge/direct throughput ratio %.2f\n",
              fullHighlight, bridgeSpans, median(directMs), directSpans, median(directMs) / fullHighlight);
  std::printf("parse: morv_parser_parse_utf16 %.1f ms, ts_parser_parse_string_encoding %.1f ms; ratio %.2f\n", fullParse,
              median(directParseMs), median(directParseMs) / fullParse);

  // 2. The keystroke loop.
  std::u16string text = original;
  std::mt19937 random(42);
  std::vector<double> keystroke, reparse, changed;
  std::vector<MorvRange> ranges(64);
  size_t spansTotal = 0;
  for (int k = 0; k < 1000; ++k) {
    size_t at = text.size() / 3 + random() % (text.size() / 3);
    const bool insert = random() % 2 == 0;
    if (!insert) {
      while (text[at] == u'\n' || (text[at] >= 0xd800 && text[at] < 0xe000)) ++at;
    }
    const MorvPoint start = pointAt(text, at);
    const MorvPoint oldEnd = insert ? start : MorvPoint{start.row, start.column + 2};
    const MorvPoint newEnd = insert ? MorvPoint{start.row, start.column + 2} : start;
    const uint32_t startByte = uint32_t(at * 2);
    const uint32_t oldEndByte = insert ? startByte : startByte + 2;
    const uint32_t newEndByte = insert ? startByte + 2 : startByte;
    if (insert) {
      text.insert(text.begin() + at, char16_t(u'a' + random() % 26));
    } else {
      text.erase(text.begin() + at);
    }

    const Clock::time_point t = Clock::now();
    morv_tree_edit(tree, startByte, oldEndByte, newEndByte, start.row, start.column, oldEnd.row, oldEnd.column,
                   newEnd.row, newEnd.column);
    const Clock::time_point p = Clock::now();
    MorvTree *next = morv_parser_parse_utf16(bridge.parser, tree, text.data(), bytes(text), nullptr, 0);
    reparse.push_back(millisSince(p));
    // One slot more than the changed ranges, for the edited range.
    const Clock::time_point c = Clock::now();
    uint32_t count = morv_tree_changed_ranges(tree, next, ranges.data(), uint32_t(ranges.size()));
    if (count >= ranges.size()) {
      ranges.resize(count + 1);
      count = morv_tree_changed_ranges(tree, next, ranges.data(), count);
    }
    changed.push_back(millisSince(c));
    MorvNode nextRoot;
    morv_tree_root(next, &nextRoot);
    // The changed ranges and the edited range (a line's worth around it).
    ranges[count] = MorvRange{start, newEnd, startByte > 200 ? startByte - 200 : 0, newEndByte + 200};
    for (uint32_t i = 0; i <= count; ++i) {
      morv_cursor_set_byte_range(bridge.cursor, ranges[i].start_byte, std::max(ranges[i].end_byte, ranges[i].start_byte + 1));
      morv_cursor_exec_text(bridge.cursor, bridge.query, &nextRoot, text.data(), bytes(text));
      spansTotal += bridge.drain();
    }
    keystroke.push_back(millisSince(t));
    morv_tree_delete(tree);
    tree = next;
  }
  morv_cursor_set_byte_range(bridge.cursor, 0, 0);
  const double p50 = percentile(keystroke, 0.5), p99 = percentile(keystroke, 0.99);
  const double reparse99 = percentile(reparse, 0.99);
  std::printf("keystroke loop (1000 edits, %zu spans re-queried): p50 %.3f ms, p99 %.3f ms; re-parse alone p50 %.3f ms, "
              "p99 %.3f ms\n",
              spansTotal, p50, p99, percentile(reparse, 0.5), reparse99);
  std::printf("  keystroke p99 / re-parse p99 = %.2f; keystroke p99 / full re-highlight (%.1f ms) = 1/%.0f\n", p99 / reparse99,
              fullHighlight, fullHighlight / p99);
  std::printf("  changed ranges (the library's joined with the bridge's comparison of the trees): p50 %.3f ms, "
              "p99 %.3f ms; p50 / re-parse p50 = %.3f\n",
              percentile(changed, 0.5), percentile(changed, 0.99), percentile(changed, 0.5) / percentile(reparse, 0.5));
  // The spans after the edits equal a fresh highlight of the final text.
  {
    std::vector<MorvCaptureSpan> incremental, fresh;
    MorvNode r;
    morv_tree_root(tree, &r);
    morv_cursor_exec_text(bridge.cursor, bridge.query, &r, text.data(), bytes(text));
    while (uint32_t n = morv_cursor_next_captures(bridge.cursor, bridge.spans, Bridge::kCapacity))
      incremental.insert(incremental.end(), bridge.spans, bridge.spans + n);
    MorvParser *freshParser = morv_parser_create();
    morv_parser_set_language(freshParser, language);
    MorvTree *freshTree = morv_parser_parse_utf16(freshParser, nullptr, text.data(), bytes(text), nullptr, 0);
    morv_tree_root(freshTree, &r);
    morv_cursor_exec_text(bridge.cursor, bridge.query, &r, text.data(), bytes(text));
    while (uint32_t n = morv_cursor_next_captures(bridge.cursor, bridge.spans, Bridge::kCapacity))
      fresh.insert(fresh.end(), bridge.spans, bridge.spans + n);
    bool same = incremental.size() == fresh.size();
    for (size_t i = 0; same && i < fresh.size(); ++i)
      same = incremental[i].start_byte == fresh[i].start_byte && incremental[i].end_byte == fresh[i].end_byte &&
             incremental[i].capture_id == fresh[i].capture_id;
    std::printf("  after the edits: spans of the re-parsed tree %s those of a fresh parse (%zu spans)\n",
                same ? "equal" : "DIFFER FROM", fresh.size());
    morv_tree_delete(freshTree);
    morv_parser_delete(freshParser);
  }

  // 3. Cancellation latency.
  std::vector<double> latency;
  std::uniform_real_distribution<double> when(0.0, fullParse * 0.8);
  int finished = 0;
  for (int i = 0; i < 100; ++i) {
    std::atomic<uint32_t> flag{0};
    std::atomic<int64_t> setAt{0};
    const double delay = when(random);
    std::thread canceller([&] {
      std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(delay));
      setAt = Clock::now().time_since_epoch().count();
      flag = 1;
    });
    MorvTree *stopped = morv_parser_parse_utf16(bridge.parser, nullptr, original.data(), bytes(original),
                                                reinterpret_cast<const volatile uint32_t *>(&flag), 0);
    const int64_t returned = Clock::now().time_since_epoch().count();
    canceller.join();
    if (stopped != nullptr) {
      ++finished;
      morv_tree_delete(stopped);
      continue;
    }
    latency.push_back(std::chrono::duration<double, std::milli>(Clock::duration(returned - setAt.load())).count());
  }
  if (!latency.empty()) {
    const double p99c = percentile(latency, 0.99);
    std::printf("cancellation: %zu parses stopped (%d finished first): latency p50 %.3f ms, p99 %.3f ms; full parse %.1f ms; "
                "p99 / full parse = 1/%.0f\n",
                latency.size(), finished, percentile(latency, 0.5), p99c, fullParse, fullParse / p99c);
  }
  std::printf("(sinks %llu %llu)\n", (unsigned long long)bridge.sink, (unsigned long long)direct.sink_);
  morv_tree_delete(tree);
  ts_tree_delete(directTree);
  ts_parser_delete(directParser);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s JAVA_FILE JAVASCRIPT_FILE   (bash scripts/bench-inputs.sh prints them)\n", argv[0]);
    return 2;
  }
  // Each figure as soon as it is measured: the whole run takes minutes.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  benchFile("Java", argv[1], tree_sitter_java(), "java");
  benchFile("JavaScript", argv[2], tree_sitter_javascript(), "javascript");
  return 0;
}
