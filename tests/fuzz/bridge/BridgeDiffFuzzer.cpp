// Differential fuzz target: the same UTF-16 document goes through morv-ts
// (read callback in small chunks, progress callback, handles, unaligned node
// buffers) and straight through the tree-sitter library (one contiguous
// buffer), in one of three grammars (JSON; JavaScript and Python, which have
// external scanners). Then several edits, each followed by an incremental
// re-parse:
//
//  - a coherent edit goes to both sides; the edited trees and the re-parsed
//    trees of both sides must agree node for node, and the bridge's
//    incremental tree must equal a fresh parse of the new text in shape and
//    in the bytes and points of every node;
//  - an incoherent edit (ends before the start, offsets or points past the
//    text, ...) reports the same real change wrongly to the bridge alone,
//    whose incremental tree must still equal a fresh parse exactly.
//
// Error recovery weighs reused subtrees and may settle differently from a
// fresh parse, so a coherent edit whose trees hold errors is skipped for the
// comparison with the fresh parse. Random text nearly always has errors, so
// after the few edits the input spells out, each input goes on with a long
// chain of edits on a text without errors (the edited text when it is clean,
// else the grammar's built-in clean document): spaces added and removed,
// elements and statements copied or removed with their separators, leaves
// (names, numbers, string contents) replaced by other leaves of their kind or
// changed by a unit. Most of these keep the text clean while its structure
// changes; one that does not is undone at once. Some chain edits are
// incoherent, some undone at once, some made while a capture run goes on.
// Every chain edit is compared with a fresh parse; the bridge's trees are
// walked in full against the library's every few edits and compared by node
// positions in between. At exit the target prints how many edits were
// compared and how many skipped, by kind and reason.
//
// Input: byte 0 grammar (with bit 7 set: edit the grammar's clean document
// instead of the text), byte 1 chunk size, byte 2 progress stop, byte 3 edit
// count (up to 16, taken from the 4 edit slots in turn, the start moved on
// each round), then 4 edits of 6 bytes, then 2 bytes of query byte range; the
// rest is the text, one byte per code unit with bytes >= 0x80 standing for a
// table of non-ASCII units and surrogates. An edit's bytes: kind (bit 7
// incoherent, bit 6 spaces only, bit 5 undone at once, the low bits choose
// the incoherence), start low and high, removed units (bit 4: a capture run
// goes on across the edit), inserted units, offset of the inserted units in
// the text. The chain's choices are drawn from a hash of the whole input
// mixed with the text bytes in turn.
#include <tree_sitter/api.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "morv_ts.h"

extern "C" {
const TSLanguage *tree_sitter_json(void);
const TSLanguage *tree_sitter_javascript(void);
const TSLanguage *tree_sitter_python(void);
}

namespace {

void require(bool condition, const char *what) {
  if (!condition) {
    std::fprintf(stderr, "bridge difference: %s\n", what);
    std::abort();
  }
}

struct Grammar {
  const char *name;
  const TSLanguage *(*language)(void);
  const char *query;
  // A document without syntax errors. Random text nearly always has errors,
  // which leave a coherent edit nothing to compare, so some inputs edit this
  // document instead.
  const char16_t *clean;
};

const Grammar kGrammars[] = {
    {"json", tree_sitter_json,
     "(pair key: (_) @key value: (_) @value)\n"
     "(array (number) @number)\n"
     "((string (string_content) @content) (#eq? @content \"a\"))\n"
     "(ERROR) @error\n"
     "(MISSING) @missing\n",
     u"{\n  \"name\": \"morv\",\n  \"list\": [1, -2.5e3, true, false, null],\n"
     u"  \"nested\": {\"a\": [[], {}, [{\"k\": \"v\\n\\u00e4\"}]], \"b\": \"\"},\n"
     u"  \"äöü\": [0, 1, 2, 3, 4, 5, 6, 7, 8, 9]\n}\n"},
    {"javascript", tree_sitter_javascript,
     "(identifier) @id\n"
     "(call_expression function: (_) @callee)\n"
     "[(string) (template_string) (regex)] @literal\n"
     "(comment) @comment\n"
     "(ERROR) @error\n",
     u"// tokens\nfunction greet(name, ...rest) {\n"
     u"  const message = `Hello, ${name}!`; /* block */\n"
     u"  return [message, /ab+c/gi, rest.length ?? 0];\n}\n"
     u"class Point { #x = 1; get x() { return this.#x; } }\n"
     u"let s = 'single' + \"double\";\nif (s) { s += 1; } else { s = null; }\n"
     u"const f = async (a, b = 2) => { await a; for (const k of b) yield* k; };\n"},
    {"python", tree_sitter_python,
     "(identifier) @id\n"
     "(function_definition name: (identifier) @def)\n"
     "(string) @string\n"
     "(comment) @comment\n"
     "(ERROR) @error\n",
     u"def area(r, *args, **kw):\n    \"\"\"Area of a circle.\"\"\"\n    if r < 0:\n"
     u"        raise ValueError(f\"negative {r!r}\")\n    return 3.14 * r ** 2  # approx\n\n\n"
     u"class Shape:\n    pass\n\nx = [i for i in range(10) if i % 2]\n"
     u"with open('f') as g:\n    for line in g:\n        print(line, end='')\n"},
};

constexpr char16_t kWide[] = {0x00e4, 0x4e16, 0xd83d, 0xde00, 0xd800, 0xdc00,
                              0xfffd, 0x00a0, 0x2028, 0xfeff, 0x0000, 0xffff};

// The edits of a chain on a text without syntax errors, each made so that
// the text most likely stays free of them while its structure changes.
enum ChainKind {
  kSpacesAdded,
  kSpacesRemoved,
  kElementCopied,
  kElementRemoved,
  kLeafReplaced,
  kLeafChanged,
  kChainKinds
};
const char *const kChainKindNames[kChainKinds] = {
    "spaces added", "spaces removed", "element copied", "element removed", "leaf replaced",
    "leaf changed"};

// What the run compared, printed when the process ends.
struct Tally {
  unsigned long long inputs = 0;
  unsigned long long coherentCompared = 0;
  unsigned long long incoherentCompared = 0;
  unsigned long long undoCompared = 0;
  unsigned long long skippedErrors = 0;
  unsigned long long skippedUndoErrors = 0;
  unsigned long long skippedNoText = 0;
  unsigned long long bridgeLibraryCompared = 0;
  unsigned long long bridgeLibraryQuick = 0;
  // Coherent chain edits, also counted in coherentCompared and skippedErrors.
  unsigned long long chainCompared[kChainKinds] = {};
  unsigned long long chainSkipped[kChainKinds] = {};
} tally;

void printTally() {
  const unsigned long long compared =
      tally.coherentCompared + tally.incoherentCompared + tally.undoCompared;
  const unsigned long long skipped =
      tally.skippedErrors + tally.skippedUndoErrors + tally.skippedNoText;
  std::fprintf(stderr,
               "bridge_diff_fuzz: %llu inputs; incremental against fresh parse: %llu edits "
               "compared (%llu coherent, %llu incoherent, %llu undo), %llu skipped (%llu coherent "
               "and %llu undo with errors in a tree, %llu with no text to edit); bridge against "
               "library: %llu tree pairs compared in full, %llu by node positions\n",
               tally.inputs, compared, tally.coherentCompared, tally.incoherentCompared,
               tally.undoCompared, skipped, tally.skippedErrors, tally.skippedUndoErrors,
               tally.skippedNoText, tally.bridgeLibraryCompared, tally.bridgeLibraryQuick);
  std::string kinds;
  for (int k = 0; k < kChainKinds; ++k) {
    char line[128];
    std::snprintf(line, sizeof line, "%s%s %llu/%llu", k == 0 ? "" : ", ", kChainKindNames[k],
                  tally.chainCompared[k], tally.chainSkipped[k]);
    kinds += line;
  }
  std::fprintf(stderr, "bridge_diff_fuzz: coherent chain edits compared/skipped: %s\n",
               kinds.c_str());
}

struct Reader {
  const std::u16string *text;
  uint32_t chunk;

  static const void *read(void *context, uint32_t byteIndex, uint32_t, uint32_t,
                          uint32_t *bytesRead) {
    auto *self = static_cast<Reader *>(context);
    const uint32_t size = static_cast<uint32_t>(self->text->size() * 2);
    const char *bytes = reinterpret_cast<const char *>(self->text->data());
    if (byteIndex >= size) {
      *bytesRead = 0;
      return bytes;
    }
    const uint32_t left = size - byteIndex;
    *bytesRead = left < self->chunk ? left : self->chunk;
    return bytes + byteIndex;
  }

  static const char *libraryRead(void *payload, uint32_t byteIndex, TSPoint point,
                                 uint32_t *bytesRead) {
    return static_cast<const char *>(read(payload, byteIndex, point.row, point.column, bytesRead));
  }
};

struct StopAt {
  unsigned limit;
  unsigned calls = 0;

  static bool morv(void *context, uint32_t) { return static_cast<StopAt *>(context)->step(); }
  static bool library(TSParseState *state) { return static_cast<StopAt *>(state->payload)->step(); }
  bool step() { return limit != 0 && ++calls >= limit; }
};

TSNode asLibraryNode(const void *bridgeNode) {
  TSNode node;
  std::memcpy(&node, bridgeNode, sizeof node);
  return node;
}

bool samePoint(TSPoint a, TSPoint b) { return a.row == b.row && a.column == b.column; }

// Walks both trees in pre-order; bridge nodes live in a misaligned buffer.
void compareNodes(const TSLanguage *language, const unsigned char *bridgeNode, TSNode node,
                  unsigned depth, unsigned *budget) {
  if (*budget == 0) {
    return;
  }
  --*budget;
  require(morv_node_symbol(bridgeNode) == ts_node_symbol(node), "symbol");
  require(morv_node_start_byte(bridgeNode) == ts_node_start_byte(node), "start byte");
  require(morv_node_end_byte(bridgeNode) == ts_node_end_byte(node), "end byte");
  const TSNode same = asLibraryNode(bridgeNode);
  require(samePoint(ts_node_start_point(same), ts_node_start_point(node)) &&
              samePoint(ts_node_end_point(same), ts_node_end_point(node)),
          "points");
  require(morv_node_is_named(bridgeNode) == ts_node_is_named(node), "is_named");
  require(morv_node_is_missing(bridgeNode) == ts_node_is_missing(node), "is_missing");
  require(morv_node_is_error(bridgeNode) == ts_node_is_error(node), "is_error");
  require(morv_node_has_error(bridgeNode) == ts_node_has_error(node), "has_error");
  const uint32_t count = ts_node_child_count(node);
  require(morv_node_child_count(bridgeNode) == count, "child count");
  require(morv_node_named_child_count(bridgeNode) == ts_node_named_child_count(node),
          "named child count");
  const char *bridgeName = morv_language_symbol_name(language, morv_node_symbol(bridgeNode));
  const char *name = ts_node_type(node);
  require(bridgeName != nullptr && name != nullptr && std::strcmp(bridgeName, name) == 0, "type");
  if (depth > 64) {
    return;
  }
  unsigned char buffer[33];
  unsigned char *child = buffer + 1;
  for (uint32_t i = 0; i < count && *budget > 0; ++i) {
    morv_node_child(bridgeNode, i, child);
    compareNodes(language, child, ts_node_child(node, i), depth + 1, budget);
    if (i == 0) {
      unsigned char parent[32];
      morv_node_parent(child, parent);
      require(morv_node_start_byte(parent) == ts_node_start_byte(node) &&
                  morv_node_end_byte(parent) == ts_node_end_byte(node),
              "parent");
      unsigned char next[32];
      morv_node_next_sibling(child, next);
      TSNode libraryNext = ts_node_next_sibling(ts_node_child(node, 0));
      MorvNode copy;
      std::memcpy(&copy, next, sizeof copy);
      require((copy.id == nullptr) == ts_node_is_null(libraryNext), "next sibling");
    }
  }
  morv_node_named_child(bridgeNode, count + 1, child);
  MorvNode outside;
  std::memcpy(&outside, child, sizeof outside);
  require(outside.id == nullptr, "named child out of range");
}

// The bridge's tree against the library's, which went through the same
// parses and edits.
void compareTrees(const TSLanguage *language, const MorvTree *bridgeTree, const TSTree *tree) {
  ++tally.bridgeLibraryCompared;
  unsigned char root[40];
  morv_tree_root(bridgeTree, root + 3);
  TSNode libraryRoot = ts_tree_root_node(tree);
  char *a = morv_node_string(root + 3);
  char *b = ts_node_string(libraryRoot);
  require(std::strcmp(a, b) == 0, "node string");
  morv_free(a);
  std::free(b);
  unsigned budget = 400;
  compareNodes(language, root + 3, libraryRoot, 0, &budget);

  unsigned char found[32];
  const uint32_t end = ts_node_end_byte(libraryRoot);
  const uint32_t step = 2 * (end / 64 + 7);
  for (uint32_t at = 0; at <= end; at += step) {
    morv_node_descendant_for_byte_range(root + 3, at, at + 2, found);
    TSNode expected = ts_node_descendant_for_byte_range(libraryRoot, at, at + 2);
    require(morv_node_start_byte(found) == ts_node_start_byte(expected) &&
                morv_node_end_byte(found) == ts_node_end_byte(expected) &&
                morv_node_symbol(found) == ts_node_symbol(expected),
            "descendant for byte range");
  }
}

// Symbol, bytes and points of every node, in pre-order. A tree cursor walks
// each child list once; asking for children by index would walk it again for
// every child.
void positions(TSNode node, std::vector<uint32_t> &out) {
  TSTreeCursor cursor = ts_tree_cursor_new(node);
  for (;;) {
    const TSNode at = ts_tree_cursor_current_node(&cursor);
    const TSPoint start = ts_node_start_point(at), end = ts_node_end_point(at);
    out.insert(out.end(), {ts_node_symbol(at), ts_node_is_missing(at), ts_node_start_byte(at),
                           ts_node_end_byte(at), start.row, start.column, end.row, end.column});
    if (ts_tree_cursor_goto_first_child(&cursor)) {
      continue;
    }
    while (!ts_tree_cursor_goto_next_sibling(&cursor)) {
      if (!ts_tree_cursor_goto_parent(&cursor)) {
        ts_tree_cursor_delete(&cursor);
        return;
      }
    }
  }
}

// The bridge's incremental tree against its fresh parse of the same text.
void requireEqualToFresh(const MorvTree *incremental, const MorvTree *fresh, const char *what) {
  unsigned char a[32], b[32];
  morv_tree_root(incremental, a);
  morv_tree_root(fresh, b);
  char *x = morv_node_string(a);
  char *y = morv_node_string(b);
  const bool sameShape = std::strcmp(x, y) == 0;
  if (!sameShape) {
    std::fprintf(stderr, "incremental: %s\nfresh:       %s\n", x, y);
  }
  morv_free(x);
  morv_free(y);
  require(sameShape, what);
  std::vector<uint32_t> p, q;
  positions(asLibraryNode(a), p);
  positions(asLibraryNode(b), q);
  require(p == q, what);
}

bool hasError(const MorvTree *tree) {
  unsigned char root[32];
  morv_tree_root(tree, root);
  return morv_node_has_error(root);
}

// Both sides' queries of a grammar, compiled once: compiling analyses every
// pattern against the grammar, which would cost more than the rest of a run.
struct Queries {
  MorvQuery *bridge;
  TSQuery *library;
};

const Queries &queriesOf(const Grammar &g) {
  static Queries cache[std::size(kGrammars)];
  Queries &q = cache[&g - kGrammars];
  if (q.bridge == nullptr) {
    const std::string source = g.query;
    uint32_t offset = 0, type = 0;
    q.bridge = morv_query_new(g.language(), source.data(), static_cast<uint32_t>(source.size()),
                              &offset, &type);
    uint32_t libraryOffset = 0;
    TSQueryError libraryType = TSQueryErrorNone;
    q.library = ts_query_new(g.language(), source.data(), static_cast<uint32_t>(source.size()),
                             &libraryOffset, &libraryType);
    require(q.bridge != nullptr && q.library != nullptr && type == 0, "query compiles");
    require(morv_query_pattern_count(q.bridge) == ts_query_pattern_count(q.library),
            "pattern count");
  }
  return q;
}

void compareCaptures(const Grammar &g, const MorvTree *bridgeTree, const TSTree *tree,
                     uint32_t start, uint32_t end) {
  MorvQuery *bridgeQuery = queriesOf(g).bridge;
  TSQuery *query = queriesOf(g).library;
  MorvCursor *bridgeCursor = morv_cursor_create();
  TSQueryCursor *cursor = ts_query_cursor_new();
  require(morv_cursor_set_byte_range(bridgeCursor, start, end) ==
              ts_query_cursor_set_byte_range(cursor, start, end),
          "byte range verdict");
  unsigned char root[32];
  morv_tree_root(bridgeTree, root);
  morv_cursor_exec(bridgeCursor, bridgeQuery, root);
  ts_query_cursor_exec(cursor, query, ts_tree_root_node(tree));
  for (unsigned n = 0; n < 1000; ++n) {
    MorvQueryMatch bridgeMatch;
    uint32_t bridgeIndex = 0;
    TSQueryMatch match;
    uint32_t index = 0;
    const bool more = morv_cursor_next_capture(bridgeCursor, &bridgeMatch, &bridgeIndex);
    require(more == ts_query_cursor_next_capture(cursor, &match, &index), "capture count");
    if (!more) {
      break;
    }
    require(bridgeIndex == index && bridgeMatch.pattern_index == match.pattern_index &&
                bridgeMatch.capture_count == match.capture_count,
            "match record");
    const MorvQueryCapture &a = bridgeMatch.captures[bridgeIndex];
    const TSQueryCapture &b = match.captures[index];
    require(a.index == b.index && morv_node_start_byte(&a.node) == ts_node_start_byte(b.node) &&
                morv_node_end_byte(&a.node) == ts_node_end_byte(b.node),
            "capture");
  }
  ts_query_cursor_delete(cursor);
  morv_cursor_delete(bridgeCursor);
}

TSPoint pointAt(const std::u16string &text, size_t units) {
  TSPoint point = {0, 0};
  for (size_t i = 0; i < units; ++i) {
    if (text[i] == u'\n') {
      ++point.row;
      point.column = 0;
    } else {
      point.column += 2;
    }
  }
  return point;
}

// One real change of the text: `removed` units at `start` replaced by
// `inserted`.
struct Change {
  size_t start;
  size_t removed;
  std::u16string inserted;
};

std::u16string applied(const std::u16string &text, const Change &c) {
  return text.substr(0, c.start) + c.inserted + text.substr(c.start + c.removed);
}

TSInputEdit coherentEdit(const std::u16string &before, const std::u16string &after,
                         const Change &c) {
  TSInputEdit edit;
  edit.start_byte = static_cast<uint32_t>(c.start * 2);
  edit.old_end_byte = static_cast<uint32_t>((c.start + c.removed) * 2);
  edit.new_end_byte = static_cast<uint32_t>((c.start + c.inserted.size()) * 2);
  edit.start_point = pointAt(before, c.start);
  edit.old_end_point = pointAt(before, c.start + c.removed);
  edit.new_end_point = pointAt(after, c.start + c.inserted.size());
  return edit;
}

// The same change, reported wrongly in one of several ways. Each way leaves
// the edit incoherent, whatever the change.
TSInputEdit incoherentEdit(TSInputEdit e, uint32_t textBytes, TSPoint textEnd, uint8_t way,
                           uint32_t noise) {
  switch (way % 7) {
    case 0:  // start after the old end
      e.start_byte = e.old_end_byte + 2 + (noise % 64) * 2;
      break;
    case 1:  // start after the new end
      e.start_byte = e.new_end_byte + 2 + (noise % 64) * 2;
      break;
    case 2:  // old end past the text
      e.old_end_byte = textBytes + 2 + noise % 4096;
      break;
    case 3:  // everything past the text
      e.start_byte = textBytes + 2 + noise % 4096;
      e.old_end_byte = e.start_byte + noise % 16;
      e.new_end_byte = e.start_byte + noise % 32;
      break;
    case 4:  // old end position before the start position
      e.start_point.row = e.old_end_point.row + 1 + noise % 8;
      break;
    case 5:  // old end position past the end of the text
      e.old_end_point.row = textEnd.row + 1 + noise % 8;
      break;
    default:  // the new text longer than 32 bits can count (the text is not empty)
      e.start_byte = 0;
      e.old_end_byte = 0;
      e.new_end_byte = UINT32_MAX;
      e.start_point = e.old_end_point = {0, 0};
      break;
  }
  return e;
}

void bridgeEdit(MorvTree *tree, const TSInputEdit &e) {
  morv_tree_edit(tree, e.start_byte, e.old_end_byte, e.new_end_byte, e.start_point.row,
                 e.start_point.column, e.old_end_point.row, e.old_end_point.column,
                 e.new_end_point.row, e.new_end_point.column);
}

struct Sides {
  const Grammar &grammar;
  MorvParser *bridgeParser;
  TSParser *parser;
  uint32_t chunk;
  MorvTree *bridgeTree;
  TSTree *tree;

  MorvTree *bridgeParse(const std::u16string &text, const MorvTree *old) {
    Reader reader{&text, chunk};
    StopAt never{0};
    MorvTree *result =
        morv_parser_parse(bridgeParser, old, &Reader::read, &reader, &StopAt::morv, &never);
    require(result != nullptr, "bridge parse result");
    return result;
  }

  void againstLibrary(const MorvTree *bridge, const TSTree *library, bool full) {
    if (full) {
      compareTrees(grammar.language(), bridge, library);
      return;
    }
    unsigned char root[32];
    morv_tree_root(bridge, root);
    std::vector<uint32_t> p, q;
    positions(asLibraryNode(root), p);
    positions(ts_tree_root_node(library), q);
    require(p == q, "bridge and library trees");
    ++tally.bridgeLibraryQuick;
  }

  // Both sides start over from a fresh parse of `text`.
  void restart(const std::u16string &text) {
    morv_tree_delete(bridgeTree);
    ts_tree_delete(tree);
    bridgeTree = bridgeParse(text, nullptr);
    tree = libraryParse(text, nullptr);
    compareTrees(grammar.language(), bridgeTree, tree);
  }

  TSTree *libraryParse(const std::u16string &text, const TSTree *old) {
    TSTree *result = ts_parser_parse_string_encoding(
        parser, old, reinterpret_cast<const char *>(text.data()),
        static_cast<uint32_t>(text.size() * 2), TSInputEncodingUTF16LE);
    require(result != nullptr, "library parse result");
    return result;
  }

  // Moves both sides from `before` to `after`; returns whether the bridge's
  // incremental tree was compared with a fresh parse. With `runAcross`, a
  // capture run over the bridge's tree is going on when the edit comes, and
  // the edit must end it.
  //
  // With `full` unset, the bridge's trees are checked against the library's
  // by symbol, bytes and points of every node only, which costs a fraction of
  // the full walk; long edit chains take the full walk every few edits.
  bool step(const std::u16string &before, const std::u16string &after, const Change &change,
            bool coherent, uint8_t way, uint32_t noise, bool runAcross, bool full = true) {
    const TSInputEdit edit = coherentEdit(before, after, change);
    MorvCursor *run = nullptr;
    MorvQueryMatch match;
    uint32_t index = 0;
    if (runAcross) {
      run = morv_cursor_create();
      unsigned char root[32];
      morv_tree_root(bridgeTree, root);
      morv_cursor_exec(run, queriesOf(grammar).bridge, root);
      morv_cursor_next_capture(run, &match, &index);
    }
    TSTree *libraryNext;
    if (coherent) {
      bridgeEdit(bridgeTree, edit);
      ts_tree_edit(tree, &edit);
      againstLibrary(bridgeTree, tree, full);
      libraryNext = libraryParse(after, tree);
    } else {
      unsigned char root[32];
      morv_tree_root(bridgeTree, root);
      const TSNode libraryRoot = asLibraryNode(root);
      bridgeEdit(bridgeTree, incoherentEdit(edit, ts_node_end_byte(libraryRoot),
                                            ts_node_end_point(libraryRoot), way, noise));
      libraryNext = libraryParse(after, nullptr);
    }
    const bool edited = run != nullptr && !morv_cursor_next_capture(run, &match, &index);
    MorvTree *bridgeNext = bridgeParse(after, bridgeTree);
    if (coherent) {
      againstLibrary(bridgeNext, libraryNext, full);
    }
    MorvTree *fresh = bridgeParse(after, nullptr);
    bool compared = false;
    if (!coherent || (!hasError(bridgeNext) && !hasError(fresh))) {
      requireEqualToFresh(bridgeNext, fresh,
                          coherent ? "incremental and fresh parse" : "incoherent edit");
      compared = true;
    }
    if (!coherent) {
      // Every incoherent edit reuses nothing, so its tree is the fresh one,
      // and the library's fresh tree must be the same too.
      againstLibrary(bridgeNext, libraryNext, full);
    }
    morv_tree_delete(fresh);
    morv_tree_delete(bridgeTree);
    ts_tree_delete(tree);
    bridgeTree = bridgeNext;
    tree = libraryNext;
    if (run != nullptr) {
      // A no-op edit (nothing removed, nothing inserted) leaves the tree and
      // the run as they were.
      const bool noop = change.removed == 0 && change.inserted.empty() && coherent;
      require(edited || noop, "run across an edit");
      morv_cursor_delete(run);
    }
    return compared;
  }
};

std::u16string decode(const uint8_t *data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i < size; ++i) {
    text.push_back(data[i] < 0x80 ? char16_t(data[i]) : kWide[data[i] % std::size(kWide)]);
  }
  return text;
}

// The choices of an edit chain, drawn from the input: each draw mixes the
// next input byte into a running state, so every byte steers the chain and
// the same input replays the same chain.
struct Draws {
  const uint8_t *data;
  size_t size;
  uint64_t state;
  size_t at = 0;

  uint32_t next() {
    state += 0x9e3779b97f4a7c15ull + (size == 0 ? 0 : data[at++ % size]);
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
  }
  size_t below(size_t n) { return n == 0 ? 0 : next() % n; }
};

// Pieces of a tree in code units: a named node together with what separates
// it from its next named sibling (an element and its comma, a statement and
// the line break and indentation before the next one, an operand and its
// operator), and the named leaves (names, numbers, string contents, ...).
struct Span {
  size_t start;
  size_t end;
  TSSymbol symbol;
};

struct Outline {
  std::vector<Span> elements;
  std::vector<Span> leaves;

  void walk(TSTreeCursor *cursor) {
    const TSNode node = ts_tree_cursor_current_node(cursor);
    if (!ts_tree_cursor_goto_first_child(cursor)) {
      if (ts_node_is_named(node) && ts_node_end_byte(node) > ts_node_start_byte(node)) {
        leaves.push_back(
            {ts_node_start_byte(node) / 2, ts_node_end_byte(node) / 2, ts_node_symbol(node)});
      }
      return;
    }
    bool havePrevious = false;
    TSNode previous{};
    do {
      const TSNode child = ts_tree_cursor_current_node(cursor);
      if (ts_node_is_named(child)) {
        if (havePrevious) {
          elements.push_back({ts_node_start_byte(previous) / 2, ts_node_start_byte(child) / 2,
                              ts_node_symbol(previous)});
        }
        previous = child;
        havePrevious = true;
      }
      walk(cursor);
    } while (ts_tree_cursor_goto_next_sibling(cursor));
    ts_tree_cursor_goto_parent(cursor);
  }

  explicit Outline(const TSTree *tree) {
    if (tree == nullptr) {
      return;
    }
    TSTreeCursor cursor = ts_tree_cursor_new(ts_tree_root_node(tree));
    walk(&cursor);
    ts_tree_cursor_delete(&cursor);
  }
};

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

// Spaces added after a space that follows some other character on its line:
// the text stays valid in all three grammars (indentation is left alone), and
// everything after the edit moves.
Change spacesAdded(const std::u16string &text, size_t from, size_t count) {
  size_t at = from;
  while (at < text.size() &&
         !(text[at] == u' ' && at > 0 && text[at - 1] != u' ' && text[at - 1] != u'\n')) {
    ++at;
  }
  return Change{at, 0, std::u16string(count, u' ')};
}

// One edit of a chain. Returns false when the text offers nothing for the
// kind (no element with a next sibling, no second space, ...).
bool chainEdit(ChainKind kind, const std::u16string &text, const Outline &outline, Draws &draws,
               Change &change) {
  switch (kind) {
    case kSpacesAdded:
      change = spacesAdded(text, draws.below(text.size() + 1), 1 + draws.below(3));
      return true;
    case kSpacesRemoved: {
      // One space of two or more after some other character on the line.
      const size_t from = draws.below(text.size());
      for (size_t n = 0; n + 2 < text.size(); ++n) {
        const size_t at = (from + n) % (text.size() - 2) + 1;
        if (text[at] == u' ' && text[at + 1] == u' ' && text[at - 1] != u' ' &&
            text[at - 1] != u'\n') {
          change = Change{at + 1, 1, u""};
          return true;
        }
      }
      return false;
    }
    case kElementCopied:
    case kElementRemoved: {
      if (outline.elements.empty()) {
        return false;
      }
      const Span &e = outline.elements[draws.below(outline.elements.size())];
      if (kind == kElementCopied) {
        change = Change{e.start, 0, text.substr(e.start, e.end - e.start)};
      } else {
        change = Change{e.start, e.end - e.start, u""};
      }
      return true;
    }
    case kLeafReplaced: {
      // A name, number or string content takes the text of another leaf of
      // the same kind.
      if (outline.leaves.empty()) {
        return false;
      }
      const size_t pick = draws.below(outline.leaves.size());
      const Span &leaf = outline.leaves[pick];
      const size_t from = draws.below(outline.leaves.size());
      for (size_t n = 0; n < outline.leaves.size(); ++n) {
        const Span &other = outline.leaves[(from + n) % outline.leaves.size()];
        if (other.symbol == leaf.symbol &&
            text.compare(other.start, other.end - other.start, text, leaf.start,
                         leaf.end - leaf.start) != 0) {
          change = Change{leaf.start, leaf.end - leaf.start,
                          text.substr(other.start, other.end - other.start)};
          return true;
        }
      }
      return false;
    }
    default: {
      // One unit of a leaf added, replaced or removed, a unit of the same
      // class where there is one: a digit in a number, a letter in a name.
      if (outline.leaves.empty()) {
        return false;
      }
      const Span &leaf = outline.leaves[draws.below(outline.leaves.size())];
      const size_t at = leaf.start + draws.below(leaf.end - leaf.start);
      const uint32_t r = draws.next();
      char16_t unit;
      if (isDigit(text[at])) {
        unit = static_cast<char16_t>(u'0' + r % 10);
      } else if (isLetter(text[at])) {
        unit = static_cast<char16_t>(u'a' + r % 26);
      } else if (r % 8 == 0) {
        unit = kWide[(r >> 3) % std::size(kWide)];
      } else {
        unit = static_cast<char16_t>(u' ' + (r >> 3) % 95);
      }
      switch ((r >> 8) % 3) {
        case 0:
          change = Change{at, 0, std::u16string(1, unit)};
          break;
        case 1:
          change = Change{at, 1, std::u16string(1, unit)};
          break;
        default:
          if (leaf.end - leaf.start < 2) {
            change = Change{at, 0, std::u16string(1, unit)};
          } else {
            change = Change{at, 1, u""};
          }
          break;
      }
      return true;
    }
  }
}

// A chain of edits on a text without syntax errors, every one compared with
// a fresh parse. An edit that brings errors after all is skipped and undone
// at once, so that the chain goes on from a clean text.
void runChain(Sides &sides, std::u16string &text, Draws &draws, size_t steps) {
  const size_t baseSize = text.size();
  for (size_t k = 0; k < steps; ++k) {
    // Copies and removals balance out; a text that has grown much removes
    // more, one that has shrunk much copies more. Every parse and walk costs
    // in proportion to the text, so it is kept near its first size.
    ChainKind kind = static_cast<ChainKind>(draws.below(kChainKinds));
    if (2 * text.size() > 3 * baseSize + 64 && kind == kElementCopied) {
      kind = kElementRemoved;
    } else if (2 * text.size() < baseSize && kind == kElementRemoved) {
      kind = kElementCopied;
    }
    // Only copies, removals and leaf edits need the tree's pieces.
    const Outline outline(kind >= kElementCopied ? sides.tree : nullptr);
    Change change;
    if (!chainEdit(kind, text, outline, draws, change)) {
      kind = kSpacesAdded;
      chainEdit(kind, text, outline, draws, change);
    }
    const uint32_t flags = draws.next();
    const bool coherent = flags % 16 != 0;
    const bool undo = (flags >> 4) % 8 == 0;
    const bool runAcross = (flags >> 7) % 32 == 0;
    const bool full = k % 8 == 0 || k + 1 == steps;
    const std::u16string after = applied(text, change);
    const bool compared = sides.step(text, after, change, coherent, static_cast<uint8_t>(flags >> 12),
                                     flags >> 16, runAcross, full);
    if (!coherent) {
      require(compared, "incoherent edit compared");
      ++tally.incoherentCompared;
    } else if (compared) {
      ++tally.coherentCompared;
      ++tally.chainCompared[kind];
    } else {
      ++tally.skippedErrors;
      ++tally.chainSkipped[kind];
    }
    if (undo || hasError(sides.bridgeTree)) {
      const Change back{change.start, change.inserted.size(),
                        text.substr(change.start, change.removed)};
      if (sides.step(after, text, back, true, 0, 0, false, full)) {
        ++tally.undoCompared;
      } else {
        ++tally.skippedUndoErrors;
      }
      if (hasError(sides.bridgeTree)) {
        // The undone text is clean; the incremental tree that still holds
        // errors was skipped above. Start over from a fresh parse.
        sides.restart(text);
      }
    } else {
      text = after;
    }
  }
}

constexpr size_t kEditSlots = 4;
// Edits of a chain, on average: enough that the set-up of an input (parsers,
// the fuzzer's own bookkeeping) costs little next to them.
constexpr size_t kChainSteps = 128;
constexpr size_t kHeader = 4 + 6 * kEditSlots + 2;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  std::atexit(printTally);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < kHeader || size > 4096) {
    return 0;
  }
  // A long run shows its progress, every 50000 compared edits.
  static unsigned long long nextReport = 50000;
  ++tally.inputs;
  if (tally.coherentCompared + tally.incoherentCompared + tally.undoCompared >= nextReport) {
    printTally();
    nextReport += 50000;
  }
  const Grammar &grammar = kGrammars[data[0] % std::size(kGrammars)];
  const uint32_t chunk = data[1] >= 0xe0 ? UINT32_MAX : 2u * (1u + data[1] % 24u);
  const unsigned stopAt = data[2] < 0x20 ? data[2] + 1u : 0u;
  const size_t editCount = 1 + data[3] % 16;
  const uint8_t *edits = data + 4;
  const uint8_t *range = data + 4 + 6 * kEditSlots;
  std::u16string text =
      (data[0] & 0x80) != 0 ? grammar.clean : decode(data + kHeader, size - kHeader);

  MorvParser *bridgeParser = morv_parser_create();
  TSParser *parser = ts_parser_new();
  require(morv_parser_set_language(bridgeParser, grammar.language()) &&
              ts_parser_set_language(parser, grammar.language()),
          "set language");

  Reader reader{&text, chunk};
  if (stopAt != 0) {
    StopAt bridgeStop{stopAt};
    StopAt libraryStop{stopAt};
    TSInput input = {&reader, &Reader::libraryRead, TSInputEncodingUTF16LE, nullptr};
    MorvTree *stopped = morv_parser_parse(bridgeParser, nullptr, &Reader::read, &reader,
                                          &StopAt::morv, &bridgeStop);
    TSTree *libraryStopped =
        ts_parser_parse_with_options(parser, nullptr, input, {&libraryStop, &StopAt::library});
    require((stopped == nullptr) == (libraryStopped == nullptr), "stopped parse");
    require(bridgeStop.calls == libraryStop.calls, "progress calls");
    morv_tree_delete(stopped);
    ts_tree_delete(libraryStopped);
    morv_parser_reset(bridgeParser);
    ts_parser_reset(parser);
  }

  Sides sides{grammar, bridgeParser, parser, chunk, nullptr, nullptr};
  sides.bridgeTree = sides.bridgeParse(text, nullptr);
  sides.tree = sides.libraryParse(text, nullptr);
  compareTrees(grammar.language(), sides.bridgeTree, sides.tree);
  const uint32_t rangeStart = 2u * (range[0] % 64u) * 4u;
  const uint32_t rangeEnd = range[1] == 0 ? 0 : 2u * range[1] * 4u;
  compareCaptures(grammar, sides.bridgeTree, sides.tree, rangeStart, rangeEnd);

  for (size_t k = 0; k < editCount; ++k) {
    const uint8_t *e = edits + 6 * (k % kEditSlots);
    const uint8_t kind = e[0] ^ static_cast<uint8_t>(k / kEditSlots * 0x25);
    if (text.empty()) {
      ++tally.skippedNoText;
      continue;
    }
    // The inserted units are taken from the text itself, so edits mostly
    // move whole tokens around.
    Change change;
    change.start = ((size_t(e[1]) | size_t(e[2]) << 8) + k / kEditSlots * 37) % (text.size() + 1);
    change.removed = e[3] % 16 % (text.size() - change.start + 1);
    const size_t from = text.empty() ? 0 : e[5] % text.size();
    change.inserted = text.substr(from, e[4] % 16);
    const bool coherent = (kind & 0x80) == 0;
    if (coherent && (kind & 0x40) != 0) {
      // Spaces added after a space that follows some other character on its
      // line: the text stays valid in all three grammars (indentation is
      // left alone), and everything after the edit moves.
      size_t at = change.start;
      while (at < text.size() && !(text[at] == u' ' && at > 0 && text[at - 1] != u' ' &&
                                   text[at - 1] != u'\n')) {
        ++at;
      }
      change = Change{at, 0, std::u16string(1 + e[4] % 3, u' ')};
    }
    const std::u16string after = applied(text, change);
    const uint32_t noise = uint32_t(e[1]) * 131u + e[4];
    if (sides.step(text, after, change, coherent, kind, noise, (e[3] & 0x10) != 0)) {
      ++(coherent ? tally.coherentCompared : tally.incoherentCompared);
    } else {
      ++tally.skippedErrors;
    }
    if ((kind & 0x20) != 0) {
      // Undo at once: the text the fuzzer started from comes back.
      Change undo{change.start, change.inserted.size(),
                  text.substr(change.start, change.removed)};
      if (sides.step(after, text, undo, true, 0, 0, false)) {
        ++tally.undoCompared;
      } else {
        ++tally.skippedUndoErrors;
      }
    } else {
      text = after;
    }
  }
  compareCaptures(grammar, sides.bridgeTree, sides.tree, rangeStart, rangeEnd);

  // Most comparisons come from a chain of edits on a text without errors:
  // the text the edits above left, when it is clean, else the grammar's
  // clean document.
  uint64_t seed = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < size; ++i) {
    seed = (seed ^ data[i]) * 0x100000001b3ull;
  }
  Draws draws{data + kHeader, size - kHeader, seed};
  if (text.empty() || hasError(sides.bridgeTree)) {
    text = grammar.clean;
    sides.restart(text);
  }
  // A long text gets fewer edits, so that no input comes near the fuzzer's
  // time limit.
  const size_t steps = kChainSteps / 2 + draws.below(kChainSteps);
  runChain(sides, text, draws, std::min(steps, 8 + kChainSteps * 512 / (text.size() + 1)));
  compareCaptures(grammar, sides.bridgeTree, sides.tree, rangeStart, rangeEnd);

  morv_tree_delete(sides.bridgeTree);
  ts_tree_delete(sides.tree);
  ts_parser_delete(parser);
  morv_parser_delete(bridgeParser);
  return 0;
}
