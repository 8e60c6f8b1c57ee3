// What the bridge costs against tree-sitter used directly. Every case runs
// twice on the same UTF-16 document and the same chunking, "Bridge" through
// the morv-ts exports and "Direct" through the library; the run ends with a
// table of the Bridge/Direct throughput ratios and one of the speed-up of an
// incremental re-parse over a full parse.
//
// Documents: the 5 MB inputs of scripts/bench-inputs.sh (real Java, the
// java.util sources, and real JavaScript from the machine's Node.js
// installation; directory build/inputs, or MORV_BENCH_INPUTS), and a
// generated JSON document of 4 MiB. Each is parsed once before anything is
// measured and must have no syntax error.
//
// With --instructions=<file>, under callgrind, the same cases run once each
// and the program prints the instructions that each one executed, counted
// only around the measured work: building the document, the parse that sets
// up a walk, highlight or re-parse case and the query compilation are not
// counted, so a ratio compares the same work:
//
//   valgrind --tool=callgrind --collect-atstart=no --instr-atstart=no
//            --callgrind-out-file=<file> bridge_bench --instructions=<file>
#include <tree_sitter/api.h>

#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <climits>
#include <cstdlib>
#include <malloc.h>
#include <cstring>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "morv_ts.h"
#include "TextFiles.h"

extern "C" {
const TSLanguage *tree_sitter_json(void);
const TSLanguage *tree_sitter_javascript(void);
const TSLanguage *tree_sitter_java(void);
}

namespace {

constexpr size_t kDocumentBytes = 4u << 20;

std::filesystem::path inputPath(const char *name) {
  const char *dir = std::getenv("MORV_BENCH_INPUTS");
  return std::filesystem::path(dir != nullptr ? dir : MORV_BENCH_INPUTS_DIR) / name;
}

std::u16string realDocument(const char *name) {
  const std::filesystem::path path = inputPath(name);
  const std::string content = readFile(path);
  if (content.size() < 5000000) {
    std::fprintf(stderr, "%s: missing or under 5 MB; run: bash scripts/bench-inputs.sh\n",
                 path.c_str());
    std::exit(1);
  }
  return widen(content);
}

const std::u16string &javascriptDocument() {
  static const std::u16string text = realDocument("node-modules.js");
  return text;
}

const std::u16string &javaDocument() {
  static const std::u16string text = realDocument("java-util.java");
  return text;
}

const std::u16string &jsonDocument() {
  static const std::u16string text = [] {
    std::string all = "[\n";
    for (int i = 0; all.size() < kDocumentBytes; ++i) {
      all += "  {\"id\": " + std::to_string(i) + ", \"name\": \"item " + std::to_string(i) +
             " äöü\", \"tags\": [\"a\", \"b\", \"c\"], \"price\": " + std::to_string(i % 977) +
             ".25, \"ok\": " + (i % 3 ? "true" : "false") + ", \"next\": null, \"nested\": {\"x\": [1, 2, {\"y\": -3e2}]}},\n";
    }
    all += "  {}\n]\n";
    return widen(all);
  }();
  return text;
}

struct Grammar {
  const char *name;
  const TSLanguage *(*language)(void);
  const std::u16string &(*text)(void);
  const char *input;
};

const Grammar kGrammars[] = {
    {"javascript", tree_sitter_javascript, javascriptDocument, "node-modules.js"},
    {"java", tree_sitter_java, javaDocument, "java-util.java"},
    {"json", tree_sitter_json, jsonDocument, "generated JSON, 4 MiB of UTF-8"},
};

std::string highlights(const Grammar &g) {
  return readFile(std::string(MORV_GRAMMARS_DIR) + "/tree-sitter-" + g.name + "/queries/highlights.scm");
}

struct Chunked {
  const std::u16string *text;
  uint32_t chunk;

  static const void *read(void *context, uint32_t byteIndex, uint32_t, uint32_t, uint32_t *bytesRead) {
    auto *self = static_cast<Chunked *>(context);
    const uint32_t size = static_cast<uint32_t>(self->text->size() * 2);
    const char *bytes = reinterpret_cast<const char *>(self->text->data());
    if (byteIndex >= size) {
      *bytesRead = 0;
      return bytes;
    }
    *bytesRead = size - byteIndex < self->chunk ? size - byteIndex : self->chunk;
    return bytes + byteIndex;
  }

  static const char *libraryRead(void *payload, uint32_t byteIndex, TSPoint point, uint32_t *bytesRead) {
    return static_cast<const char *>(read(payload, byteIndex, point.row, point.column, bytesRead));
  }
};

bool morvProgress(void *, uint32_t) { return false; }
bool libraryProgress(TSParseState *) { return false; }

MorvTree *bridgeParse(MorvParser *parser, const std::u16string &text, uint32_t chunk,
                      const MorvTree *old = nullptr) {
  Chunked input{&text, chunk};
  return morv_parser_parse(parser, old, &Chunked::read, &input, &morvProgress, nullptr);
}

// The same input and progress callback, handed to the library directly.
TSTree *directParse(TSParser *parser, const std::u16string &text, uint32_t chunk,
                    const TSTree *old = nullptr) {
  Chunked input{&text, chunk};
  TSInput source = {&input, &Chunked::libraryRead, TSInputEncodingUTF16LE, nullptr};
  return ts_parser_parse_with_options(parser, old, source, {nullptr, &libraryProgress});
}

void setBytes(benchmark::State &state, const std::u16string &text) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}

void BM_ParseDirect(benchmark::State &state, const Grammar &g, uint32_t chunk) {
  const std::u16string &text = g.text();
  TSParser *parser = ts_parser_new();
  ts_parser_set_language(parser, g.language());
  for (auto _ : state) {
    TSTree *tree = directParse(parser, text, chunk);
    benchmark::DoNotOptimize(tree);
    ts_tree_delete(tree);
  }
  setBytes(state, text);
  ts_parser_delete(parser);
}

void BM_ParseBridge(benchmark::State &state, const Grammar &g, uint32_t chunk) {
  const std::u16string &text = g.text();
  MorvParser *parser = morv_parser_create();
  morv_parser_set_language(parser, g.language());
  for (auto _ : state) {
    MorvTree *tree = bridgeParse(parser, text, chunk);
    benchmark::DoNotOptimize(tree);
    morv_tree_delete(tree);
  }
  setBytes(state, text);
  morv_parser_delete(parser);
}

// One digit typed in the middle of the document.
struct Edit {
  std::u16string after;
  TSInputEdit edit;
};

const Edit &middleEdit(const Grammar &g) {
  static std::map<std::string, Edit> edits;
  auto found = edits.find(g.name);
  if (found != edits.end()) {
    return found->second;
  }
  const std::u16string &before = g.text();
  size_t at = before.size() / 2;
  while (at < before.size() && (before[at] < u'0' || before[at] > u'9')) {
    ++at;
  }
  Edit e;
  e.after = before;
  e.after.insert(at, 1, u'7');
  TSPoint point = {0, 0};
  for (size_t i = 0; i < at; ++i) {
    if (before[i] == u'\n') {
      ++point.row;
      point.column = 0;
    } else {
      point.column += 2;
    }
  }
  e.edit = {uint32_t(at * 2), uint32_t(at * 2), uint32_t(at * 2 + 2), point, point, {point.row, point.column + 2}};
  return edits.emplace(g.name, e).first->second;
}

// The old tree is parsed afresh outside the timing on both sides.
void BM_ReparseDirect(benchmark::State &state, const Grammar &g) {
  const Edit &e = middleEdit(g);
  TSParser *parser = ts_parser_new();
  ts_parser_set_language(parser, g.language());
  for (auto _ : state) {
    state.PauseTiming();
    TSTree *old = directParse(parser, g.text(), 4096);
    state.ResumeTiming();
    ts_tree_edit(old, &e.edit);
    TSTree *tree = directParse(parser, e.after, 4096, old);
    benchmark::DoNotOptimize(tree);
    state.PauseTiming();
    ts_tree_delete(tree);
    ts_tree_delete(old);
    state.ResumeTiming();
  }
  setBytes(state, e.after);
  ts_parser_delete(parser);
}

void BM_ReparseBridge(benchmark::State &state, const Grammar &g) {
  const Edit &e = middleEdit(g);
  MorvParser *parser = morv_parser_create();
  morv_parser_set_language(parser, g.language());
  for (auto _ : state) {
    state.PauseTiming();
    MorvTree *old = bridgeParse(parser, g.text(), 4096);
    state.ResumeTiming();
    const TSInputEdit &x = e.edit;
    morv_tree_edit(old, x.start_byte, x.old_end_byte, x.new_end_byte, x.start_point.row,
                   x.start_point.column, x.old_end_point.row, x.old_end_point.column,
                   x.new_end_point.row, x.new_end_point.column);
    MorvTree *tree = bridgeParse(parser, e.after, 4096, old);
    benchmark::DoNotOptimize(tree);
    state.PauseTiming();
    morv_tree_delete(tree);
    morv_tree_delete(old);
    state.ResumeTiming();
  }
  setBytes(state, e.after);
  morv_parser_delete(parser);
}

// Depth-first walk over every node by child index, reading a few fields.
uint64_t walkDirect(TSNode node) {
  uint64_t sum = ts_node_start_byte(node) + ts_node_symbol(node) + ts_node_is_named(node);
  const uint32_t count = ts_node_child_count(node);
  for (uint32_t i = 0; i < count; ++i) {
    sum += walkDirect(ts_node_child(node, i));
  }
  return sum;
}

uint64_t walkBridge(const MorvNode &node) {
  uint64_t sum = morv_node_start_byte(&node) + morv_node_symbol(&node) + morv_node_is_named(&node);
  const uint32_t count = morv_node_child_count(&node);
  for (uint32_t i = 0; i < count; ++i) {
    MorvNode child;
    morv_node_child(&node, i, &child);
    sum += walkBridge(child);
  }
  return sum;
}

void BM_WalkDirect(benchmark::State &state, const Grammar &g) {
  TSParser *parser = ts_parser_new();
  ts_parser_set_language(parser, g.language());
  TSTree *tree = directParse(parser, g.text(), UINT32_MAX);
  for (auto _ : state) {
    benchmark::DoNotOptimize(walkDirect(ts_tree_root_node(tree)));
  }
  setBytes(state, g.text());
  ts_tree_delete(tree);
  ts_parser_delete(parser);
}

void BM_WalkBridge(benchmark::State &state, const Grammar &g) {
  MorvParser *parser = morv_parser_create();
  morv_parser_set_language(parser, g.language());
  MorvTree *tree = bridgeParse(parser, g.text(), UINT32_MAX);
  for (auto _ : state) {
    MorvNode root;
    morv_tree_root(tree, &root);
    benchmark::DoNotOptimize(walkBridge(root));
  }
  setBytes(state, g.text());
  morv_tree_delete(tree);
  morv_parser_delete(parser);
}

uint64_t highlightDirect(TSQueryCursor *cursor, const TSQuery *query, const TSTree *tree) {
  uint64_t captures = 0;
  ts_query_cursor_exec(cursor, query, ts_tree_root_node(tree));
  TSQueryMatch match;
  uint32_t index;
  while (ts_query_cursor_next_capture(cursor, &match, &index)) {
    benchmark::DoNotOptimize(ts_node_start_byte(match.captures[index].node));
    ++captures;
  }
  return captures;
}

uint64_t highlightBridge(MorvCursor *cursor, const MorvQuery *query, const MorvTree *tree) {
  uint64_t captures = 0;
  MorvNode root;
  morv_tree_root(tree, &root);
  morv_cursor_exec(cursor, query, &root);
  MorvQueryMatch match;
  uint32_t index;
  while (morv_cursor_next_capture(cursor, &match, &index)) {
    benchmark::DoNotOptimize(morv_node_start_byte(&match.captures[index].node));
    ++captures;
  }
  return captures;
}

void BM_HighlightDirect(benchmark::State &state, const Grammar &g) {
  const std::string source = highlights(g);
  TSParser *parser = ts_parser_new();
  ts_parser_set_language(parser, g.language());
  TSTree *tree = directParse(parser, g.text(), UINT32_MAX);
  uint32_t offset = 0;
  TSQueryError error = TSQueryErrorNone;
  TSQuery *query = ts_query_new(g.language(), source.data(), uint32_t(source.size()), &offset, &error);
  TSQueryCursor *cursor = ts_query_cursor_new();
  uint64_t captures = 0;
  for (auto _ : state) {
    captures += highlightDirect(cursor, query, tree);
  }
  setBytes(state, g.text());
  state.counters["captures"] = benchmark::Counter(double(captures), benchmark::Counter::kIsRate);
  ts_query_cursor_delete(cursor);
  ts_query_delete(query);
  ts_tree_delete(tree);
  ts_parser_delete(parser);
}

void BM_HighlightBridge(benchmark::State &state, const Grammar &g) {
  const std::string source = highlights(g);
  MorvParser *parser = morv_parser_create();
  morv_parser_set_language(parser, g.language());
  MorvTree *tree = bridgeParse(parser, g.text(), UINT32_MAX);
  uint32_t offset = 0, error = 0;
  MorvQuery *query = morv_query_new(g.language(), source.data(), uint32_t(source.size()), &offset, &error);
  MorvCursor *cursor = morv_cursor_create();
  uint64_t captures = 0;
  for (auto _ : state) {
    captures += highlightBridge(cursor, query, tree);
  }
  setBytes(state, g.text());
  state.counters["captures"] = benchmark::Counter(double(captures), benchmark::Counter::kIsRate);
  morv_cursor_delete(cursor);
  morv_query_delete(query);
  morv_tree_delete(tree);
  morv_parser_delete(parser);
}

// Prints the usual table, then Bridge/Direct for every pair of runs.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      if (run.error_occurred || (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")) {
        continue;
      }
      std::string name = run.benchmark_name();
      const auto cut = name.find("_median");
      if (cut != std::string::npos) {
        name.erase(cut);
      } else if (run.run_type == Run::RT_Aggregate) {
        continue;
      }
      // The fixed iteration count of the re-parse runs is not part of the case.
      const auto fixed = name.find("/iterations:");
      if (fixed != std::string::npos) {
        name.erase(fixed);
      }
      auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) {
        rates_[name] = rate->second.value;
      }
    }
  }

  void Finalize() override {
    std::printf("\n%-34s %12s %12s %8s\n", "Bridge / Direct", "Direct MB/s", "Bridge MB/s", "ratio");
    for (const auto &[name, bridge] : rates_) {
      const auto at = name.find("/Bridge/");
      if (at == std::string::npos) {
        continue;
      }
      std::string direct = name;
      direct.replace(at, 8, "/Direct/");
      auto other = rates_.find(direct);
      if (other != rates_.end() && other->second > 0) {
        std::printf("%-34s %12.2f %12.2f %8.3f\n", name.c_str(), other->second / 1e6, bridge / 1e6,
                    bridge / other->second);
      }
    }
    // Both rates count the whole document, so their ratio is how many times
    // faster the re-parse after one typed character is than a full parse
    // with the same chunking.
    std::printf("\n%-34s %12s %12s %8s\n", "Reparse / full parse", "Full MB/s", "Reparse MB/s",
                "speed-up");
    for (const auto &[name, reparse] : rates_) {
      if (name.rfind("Reparse/", 0) != 0) {
        continue;
      }
      auto full = rates_.find("Parse/" + name.substr(8) + "/4KiB");
      if (full != rates_.end() && full->second > 0) {
        std::printf("%-34s %12.2f %12.2f %8.1f\n", name.c_str(), full->second / 1e6, reparse / 1e6,
                    reparse / full->second);
      }
    }
    ConsoleReporter::Finalize();
  }

 private:
  std::map<std::string, double> rates_;
};

// Parses every input once, directly, and refuses to measure one with a
// syntax error: its figures would be those of error recovery.
void checkInputs() {
  for (const Grammar &g : kGrammars) {
    TSParser *parser = ts_parser_new();
    ts_parser_set_language(parser, g.language());
    TSTree *tree = directParse(parser, g.text(), UINT32_MAX);
    const bool clean = tree != nullptr && !ts_node_has_error(ts_tree_root_node(tree));
    std::printf("input %-10s %-32s %9zu bytes of UTF-16, %s\n", g.name, g.input,
                g.text().size() * 2, clean ? "no syntax errors" : "HAS SYNTAX ERRORS");
    ts_tree_delete(tree);
    ts_parser_delete(parser);
    if (!clean) {
      std::exit(1);
    }
  }
}

// Instructions per case, counted by callgrind around the measured work only:
// each case's work runs between two collection toggles, and a dump named
// after the case ends it. The dumps are read back after each grammar.
class InstructionCounter {
 public:
  explicit InstructionCounter(std::string outFile) : outFile_(std::move(outFile)) {}

  template <typename Work>
  void measure(const std::string &name, Work &&work) {
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_TOGGLE_COLLECT;
    work();
    CALLGRIND_TOGGLE_COLLECT;
    CALLGRIND_DUMP_STATS_AT(name.c_str());
    CALLGRIND_STOP_INSTRUMENTATION;
    names_.push_back(name);
  }

  // Reads "<out>.<n>" for every dump: its trigger names the case, its
  // summary line holds the instructions.
  std::map<std::string, double> read() const {
    std::map<std::string, double> counts;
    for (size_t n = 1; n <= names_.size() + 1; ++n) {
      std::ifstream in(outFile_ + "." + std::to_string(n));
      std::string line, name;
      double total = -1;
      while (std::getline(in, line)) {
        const std::string trigger = "desc: Trigger: Client Request: ";
        if (line.rfind(trigger, 0) == 0) {
          name = line.substr(trigger.size());
        } else if (line.rfind("totals: ", 0) == 0) {
          // With collection toggled, the "summary" line of a dump can wrap
          // around; the totals of the dump's cost lines are right.
          total = std::strtod(line.c_str() + line.find(' ') + 1, nullptr);
        }
      }
      if (!name.empty() && total >= 0) {
        counts[name] = total;
      }
    }
    return counts;
  }

  const std::vector<std::string> &names() const { return names_; }

 private:
  std::string outFile_;
  std::vector<std::string> names_;
};

// Prints Bridge/Direct for every pair of cases counted so far whose name
// holds `grammar`, and how many times fewer instructions the re-parse after
// one typed digit takes than a full parse with the same chunking.
bool ofGrammar(const std::string &name, const std::string &grammar) {
  const std::string part = "/" + grammar;
  return name.find(part + "/") != std::string::npos ||
         (name.size() >= part.size() && name.compare(name.size() - part.size(), part.size(), part) == 0);
}

bool printCounts(const InstructionCounter &counter, const std::string &grammar) {
  const std::map<std::string, double> counts = counter.read();
  std::printf("\n%-30s %16s %16s %8s\n", "Instructions, Bridge / Direct", "Direct", "Bridge",
              "ratio");
  for (const std::string &name : counter.names()) {
    const auto at = name.find("/Bridge/");
    if (at == std::string::npos || !ofGrammar(name, grammar) || name.rfind("warm-up", 0) == 0) {
      continue;
    }
    std::string direct = name;
    direct.replace(at, 8, "/Direct/");
    const auto b = counts.find(name), d = counts.find(direct);
    if (b == counts.end() || d == counts.end() || d->second <= 0) {
      std::fprintf(stderr, "no count for %s\n", name.c_str());
      return false;
    }
    std::printf("%-30s %16.0f %16.0f %8.3f\n", name.c_str(), d->second, b->second,
                b->second / d->second);
  }
  std::printf("%-30s %16s %16s %8s\n", "Full parse / reparse", "Full", "Reparse", "factor");
  for (const std::string &name : counter.names()) {
    if (name.rfind("Reparse/", 0) != 0 || !ofGrammar(name, grammar)) {
      continue;
    }
    const auto full = counts.find("Parse/" + name.substr(8) + "/4KiB");
    const auto reparse = counts.find(name);
    if (full != counts.end() && reparse != counts.end() && reparse->second > 0) {
      std::printf("%-30s %16.0f %16.0f %8.1f\n", name.c_str(), full->second, reparse->second,
                  full->second / reparse->second);
    }
  }
  std::fflush(stdout);
  return true;
}

int countInstructions(const std::string &outFile) {
  if (!RUNNING_ON_VALGRIND) {
    std::fprintf(stderr,
                 "--instructions needs callgrind:\n  valgrind --tool=callgrind "
                 "--collect-atstart=no --instr-atstart=no --callgrind-out-file=%s "
                 "bridge_bench --instructions=%s\n",
                 outFile.c_str(), outFile.c_str());
    return 2;
  }
  // Memory freed by one case stays with the process for the next: trimming
  // and regrowing the heap would be counted against whichever side comes
  // after a trim.
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
  mallopt(M_MMAP_THRESHOLD, INT_MAX);
  InstructionCounter counter(outFile);
  for (const Grammar &g : kGrammars) {
    const std::string n = g.name;
    const std::u16string &text = g.text();
    const std::string source = highlights(g);
    const Edit &e = middleEdit(g);

    TSParser *parser = ts_parser_new();
    ts_parser_set_language(parser, g.language());
    MorvParser *bridgeParser = morv_parser_create();
    morv_parser_set_language(bridgeParser, g.language());

    // The set-up parses, uncounted, serve the walk, highlight and re-parse.
    // Made first, they also grow the heap and the parsers' buffers, which
    // would otherwise be counted against whichever side parses first.
    TSTree *tree = directParse(parser, text, 4096);
    MorvTree *bridgeTree = bridgeParse(bridgeParser, text, 4096);
    ts_tree_delete(directParse(parser, text, 4096));  // room for one more tree
    // The heap's state after one case shapes the allocation costs of the
    // next (consolidating freed chunks, for one), so each pair runs twice and
    // only the second round counts: both sides then start from a heap that
    // the same work has just left behind.
    for (const std::string round : {"warm-up ", ""}) {
      // The 4 KiB chunks of the editor's reads; the time benchmarks also
      // measure one whole-document chunk.
      TSTree *parsed = nullptr;
      counter.measure(round + "Parse/Direct/" + n + "/4KiB",
                      [&] { parsed = directParse(parser, text, 4096); });
      ts_tree_delete(parsed);
      MorvTree *bridgeParsed = nullptr;
      counter.measure(round + "Parse/Bridge/" + n + "/4KiB",
                      [&] { bridgeParsed = bridgeParse(bridgeParser, text, 4096); });
      morv_tree_delete(bridgeParsed);
      counter.measure(round + "Walk/Direct/" + n,
                      [&] { benchmark::DoNotOptimize(walkDirect(ts_tree_root_node(tree))); });
      counter.measure(round + "Walk/Bridge/" + n, [&] {
        MorvNode root;
        morv_tree_root(bridgeTree, &root);
        benchmark::DoNotOptimize(walkBridge(root));
      });
    }

    uint32_t offset = 0, error = 0;
    TSQueryError libraryError = TSQueryErrorNone;
    TSQuery *query = ts_query_new(g.language(), source.data(), uint32_t(source.size()), &offset,
                                  &libraryError);
    MorvQuery *bridgeQuery =
        morv_query_new(g.language(), source.data(), uint32_t(source.size()), &offset, &error);
    TSQueryCursor *cursor = ts_query_cursor_new();
    MorvCursor *bridgeCursor = morv_cursor_create();
    uint64_t direct = 0, bridge = 0;
    for (const std::string round : {"warm-up ", ""}) {
      counter.measure(round + "Highlight/Direct/" + n,
                      [&] { direct = highlightDirect(cursor, query, tree); });
      counter.measure(round + "Highlight/Bridge/" + n,
                      [&] { bridge = highlightBridge(bridgeCursor, bridgeQuery, bridgeTree); });
    }
    if (direct != bridge || direct == 0) {
      std::fprintf(stderr, "%s: %llu captures direct, %llu through the bridge\n", g.name,
                   (unsigned long long)direct, (unsigned long long)bridge);
      return 1;
    }
    morv_cursor_delete(bridgeCursor);
    ts_query_cursor_delete(cursor);
    morv_query_delete(bridgeQuery);
    ts_query_delete(query);

    // The edit and the re-parse are counted; the old tree was set up above.
    TSTree *reparsed = nullptr;
    counter.measure("Reparse/Direct/" + n, [&] {
      ts_tree_edit(tree, &e.edit);
      reparsed = directParse(parser, e.after, 4096, tree);
    });
    MorvTree *bridgeReparsed = nullptr;
    counter.measure("Reparse/Bridge/" + n, [&] {
      const TSInputEdit &x = e.edit;
      morv_tree_edit(bridgeTree, x.start_byte, x.old_end_byte, x.new_end_byte, x.start_point.row,
                     x.start_point.column, x.old_end_point.row, x.old_end_point.column,
                     x.new_end_point.row, x.new_end_point.column);
      bridgeReparsed = bridgeParse(bridgeParser, e.after, 4096, bridgeTree);
    });
    morv_tree_delete(bridgeReparsed);
    ts_tree_delete(reparsed);
    morv_tree_delete(bridgeTree);
    ts_tree_delete(tree);
    morv_parser_delete(bridgeParser);
    ts_parser_delete(parser);
    if (!printCounts(counter, n)) {
      return 1;
    }
  }

  return 0;
}

void registerAll() {
  for (const Grammar &g : kGrammars) {
    const std::string n = g.name;
    auto ms = benchmark::kMillisecond;
    for (uint32_t chunk : {4096u, UINT32_MAX}) {
      const std::string suffix = chunk == UINT32_MAX ? "/whole" : "/4KiB";
      benchmark::RegisterBenchmark(("Parse/Direct/" + n + suffix).c_str(), BM_ParseDirect, g, chunk)->Unit(ms);
      benchmark::RegisterBenchmark(("Parse/Bridge/" + n + suffix).c_str(), BM_ParseBridge, g, chunk)->Unit(ms);
    }
    // Each iteration parses the old text untimed, so the count is fixed.
    benchmark::RegisterBenchmark(("Reparse/Direct/" + n).c_str(), BM_ReparseDirect, g)->Unit(ms)->Iterations(8);
    benchmark::RegisterBenchmark(("Reparse/Bridge/" + n).c_str(), BM_ReparseBridge, g)->Unit(ms)->Iterations(8);
    benchmark::RegisterBenchmark(("Walk/Direct/" + n).c_str(), BM_WalkDirect, g)->Unit(ms);
    benchmark::RegisterBenchmark(("Walk/Bridge/" + n).c_str(), BM_WalkBridge, g)->Unit(ms);
    benchmark::RegisterBenchmark(("Highlight/Direct/" + n).c_str(), BM_HighlightDirect, g)->Unit(ms);
    benchmark::RegisterBenchmark(("Highlight/Bridge/" + n).c_str(), BM_HighlightBridge, g)->Unit(ms);
  }
}

}  // namespace

int main(int argc, char **argv) {
  checkInputs();
  const std::string flag = "--instructions=";
  if (argc > 1 && std::strncmp(argv[1], flag.c_str(), flag.size()) == 0) {
    return countInstructions(argv[1] + flag.size());
  }
  registerAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
