// Differential fuzz target: the same UTF-16 document goes through morv-ts
// (read callback in small chunks, progress callback, handles, unaligned node
// buffers) and straight through the tree-sitter library (one contiguous
// buffer). Both must yield the same trees, the same captures and, after the
// same random edit, the same incremental re-parse, which must also match a
// fresh parse of the edited text; any difference aborts.
//
// Input: byte 0 chunk size, byte 1 progress stop, bytes 2-3 edit start,
// byte 4 deleted units, byte 5 inserted units (taken from the text's end),
// bytes 6-7 query byte range; the rest is the text, one byte per code unit
// with bytes >= 0x80 standing for a table of non-ASCII units and surrogates.
#include <tree_sitter/api.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "morv_ts.h"

extern "C" const TSLanguage *tree_sitter_json(void);

namespace {

void require(bool condition, const char *what) {
  if (!condition) {
    std::fprintf(stderr, "bridge and library differ: %s\n", what);
    std::abort();
  }
}

constexpr char16_t kWide[] = {0x00e4, 0x4e16, 0xd83d, 0xde00, 0xd800, 0xdc00,
                              0xfffd, 0x00a0, 0x2028, 0xfeff, 0x0000, 0xffff};

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
};

struct StopAt {
  unsigned limit;
  unsigned calls = 0;

  static bool morv(void *context, uint32_t) { return static_cast<StopAt *>(context)->step(); }
  static bool library(TSParseState *state) { return static_cast<StopAt *>(state->payload)->step(); }
  bool step() { return limit != 0 && ++calls >= limit; }
};

// Walks both trees in pre-order; bridge nodes live in a misaligned buffer.
void compareNodes(const unsigned char *bridgeNode, TSNode node, unsigned depth, unsigned *budget) {
  if (*budget == 0) {
    return;
  }
  --*budget;
  require(morv_node_symbol(bridgeNode) == ts_node_symbol(node), "symbol");
  require(morv_node_start_byte(bridgeNode) == ts_node_start_byte(node), "start byte");
  require(morv_node_end_byte(bridgeNode) == ts_node_end_byte(node), "end byte");
  require(morv_node_is_named(bridgeNode) == ts_node_is_named(node), "is_named");
  require(morv_node_is_missing(bridgeNode) == ts_node_is_missing(node), "is_missing");
  require(morv_node_is_error(bridgeNode) == ts_node_is_error(node), "is_error");
  require(morv_node_has_error(bridgeNode) == ts_node_has_error(node), "has_error");
  const uint32_t count = ts_node_child_count(node);
  require(morv_node_child_count(bridgeNode) == count, "child count");
  require(morv_node_named_child_count(bridgeNode) == ts_node_named_child_count(node),
          "named child count");
  const char *bridgeName = morv_language_symbol_name(tree_sitter_json(), morv_node_symbol(bridgeNode));
  const char *name = ts_node_type(node);
  require(bridgeName != nullptr && name != nullptr && std::strcmp(bridgeName, name) == 0, "type");
  if (depth > 64) {
    return;
  }
  unsigned char buffer[33];
  unsigned char *child = buffer + 1;
  for (uint32_t i = 0; i < count && *budget > 0; ++i) {
    morv_node_child(bridgeNode, i, child);
    compareNodes(child, ts_node_child(node, i), depth + 1, budget);
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

void compareTrees(const MorvTree *bridgeTree, const TSTree *tree) {
  unsigned char root[40];
  morv_tree_root(bridgeTree, root + 3);
  TSNode libraryRoot = ts_tree_root_node(tree);
  char *a = morv_node_string(root + 3);
  char *b = ts_node_string(libraryRoot);
  require(std::strcmp(a, b) == 0, "node string");
  morv_free(a);
  std::free(b);
  unsigned budget = 600;
  compareNodes(root + 3, libraryRoot, 0, &budget);

  unsigned char found[32];
  const uint32_t end = ts_node_end_byte(libraryRoot);
  const uint32_t step = 2 * (end / 128 + 7);
  for (uint32_t at = 0; at <= end; at += step) {
    morv_node_descendant_for_byte_range(root + 3, at, at + 2, found);
    TSNode expected = ts_node_descendant_for_byte_range(libraryRoot, at, at + 2);
    require(morv_node_start_byte(found) == ts_node_start_byte(expected) &&
                morv_node_end_byte(found) == ts_node_end_byte(expected) &&
                morv_node_symbol(found) == ts_node_symbol(expected),
            "descendant for byte range");
  }
}

const char kQuery[] =
    "(pair key: (_) @key value: (_) @value)\n"
    "(array (number) @number)\n"
    "((string (string_content) @content) (#eq? @content \"a\"))\n"
    "(ERROR) @error\n"
    "(MISSING) @missing\n";

void compareCaptures(const MorvTree *bridgeTree, const TSTree *tree, uint32_t start, uint32_t end) {
  uint32_t offset = 0, type = 0;
  MorvQuery *bridgeQuery = morv_query_new(tree_sitter_json(), kQuery, sizeof kQuery - 1, &offset, &type);
  uint32_t libraryOffset = 0;
  TSQueryError libraryType = TSQueryErrorNone;
  TSQuery *query = ts_query_new(tree_sitter_json(), kQuery, sizeof kQuery - 1, &libraryOffset, &libraryType);
  require(bridgeQuery != nullptr && query != nullptr && type == 0, "query compiles");
  require(morv_query_pattern_count(bridgeQuery) == ts_query_pattern_count(query), "pattern count");

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
  ts_query_delete(query);
  morv_query_delete(bridgeQuery);
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 8 || size > 4096) {
    return 0;
  }
  const uint32_t chunk = data[0] >= 0xe0 ? UINT32_MAX : 2u * (1u + data[0] % 24u);
  const unsigned stopAt = data[1] < 0x20 ? data[1] + 1u : 0u;
  std::u16string text;
  for (size_t i = 8; i < size; ++i) {
    text.push_back(data[i] < 0x80 ? char16_t(data[i]) : kWide[data[i] % std::size(kWide)]);
  }

  MorvParser *bridgeParser = morv_parser_create();
  TSParser *parser = ts_parser_new();
  require(morv_parser_set_language(bridgeParser, tree_sitter_json()) &&
              ts_parser_set_language(parser, tree_sitter_json()),
          "set language");

  Reader reader{&text, chunk};
  if (stopAt != 0) {
    StopAt bridgeStop{stopAt};
    StopAt libraryStop{stopAt};
    TSInput input = {&reader, nullptr, TSInputEncodingUTF16LE, nullptr};
    input.read = [](void *payload, uint32_t byteIndex, TSPoint point, uint32_t *bytesRead) {
      return static_cast<const char *>(Reader::read(payload, byteIndex, point.row, point.column, bytesRead));
    };
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

  StopAt never{0};
  MorvTree *bridgeTree =
      morv_parser_parse(bridgeParser, nullptr, &Reader::read, &reader, &StopAt::morv, &never);
  TSTree *tree = ts_parser_parse_string_encoding(parser, nullptr, reinterpret_cast<const char *>(text.data()),
                                                 static_cast<uint32_t>(text.size() * 2),
                                                 TSInputEncodingUTF16LE);
  require(bridgeTree != nullptr && tree != nullptr, "parse result");
  compareTrees(bridgeTree, tree);
  const uint32_t rangeStart = 2u * (data[6] % 64u) * 4u;
  const uint32_t rangeEnd = data[7] == 0 ? 0 : 2u * data[7] * 4u;
  compareCaptures(bridgeTree, tree, rangeStart, rangeEnd);

  // The same edit for both, then an incremental re-parse of the new text.
  const size_t start = (size_t(data[2]) | size_t(data[3]) << 8) % (text.size() + 1);
  const size_t removed = data[4] % (text.size() - start + 1);
  const size_t inserted = data[5] % (text.size() + 1);
  std::u16string edited = text.substr(0, start) + text.substr(text.size() - inserted) +
                          text.substr(start + removed);
  TSInputEdit edit;
  edit.start_byte = static_cast<uint32_t>(start * 2);
  edit.old_end_byte = static_cast<uint32_t>((start + removed) * 2);
  edit.new_end_byte = static_cast<uint32_t>((start + inserted) * 2);
  edit.start_point = pointAt(text, start);
  edit.old_end_point = pointAt(text, start + removed);
  edit.new_end_point = pointAt(edited, start + inserted);
  morv_tree_edit(bridgeTree, edit.start_byte, edit.old_end_byte, edit.new_end_byte,
                 edit.start_point.row, edit.start_point.column, edit.old_end_point.row,
                 edit.old_end_point.column, edit.new_end_point.row, edit.new_end_point.column);
  ts_tree_edit(tree, &edit);
  compareTrees(bridgeTree, tree);

  Reader editedReader{&edited, chunk};
  MorvTree *bridgeAgain =
      morv_parser_parse(bridgeParser, bridgeTree, &Reader::read, &editedReader, &StopAt::morv, &never);
  TSTree *again = ts_parser_parse_string_encoding(parser, tree, reinterpret_cast<const char *>(edited.data()),
                                                  static_cast<uint32_t>(edited.size() * 2),
                                                  TSInputEncodingUTF16LE);
  require(bridgeAgain != nullptr && again != nullptr, "incremental parse result");
  compareTrees(bridgeAgain, again);
  compareCaptures(bridgeAgain, again, rangeStart, rangeEnd);

  // Against a fresh parse of the edited text. Error recovery weighs the
  // reused subtrees and may settle differently, so only trees without errors
  // must agree.
  Reader freshReader{&edited, chunk};
  MorvTree *fresh =
      morv_parser_parse(bridgeParser, nullptr, &Reader::read, &freshReader, &StopAt::morv, &never);
  require(fresh != nullptr, "fresh parse result");
  unsigned char freshRoot[32], incrementalRoot[32];
  morv_tree_root(fresh, freshRoot);
  morv_tree_root(bridgeAgain, incrementalRoot);
  if (!morv_node_has_error(freshRoot) && !morv_node_has_error(incrementalRoot)) {
    char *a = morv_node_string(incrementalRoot);
    char *b = morv_node_string(freshRoot);
    require(std::strcmp(a, b) == 0, "incremental and fresh parse");
    morv_free(a);
    morv_free(b);
  }
  morv_tree_delete(fresh);

  morv_tree_delete(bridgeAgain);
  ts_tree_delete(again);
  morv_tree_delete(bridgeTree);
  ts_tree_delete(tree);
  ts_parser_delete(parser);
  morv_parser_delete(bridgeParser);
  return 0;
}
