/*
 * The C side of the JVM benchmark: the same work as the Java side, done in C
 * through the bridge, so that one JNA call per measured round runs it in the
 * same process. Loaded by the benchmark only.
 */
#include <stdint.h>
#include <stdlib.h>

#include "morv_ts.h"

#define BENCH_API __attribute__((visibility("default")))

typedef struct Text {
  const char *bytes;
  uint32_t size;
  uint32_t chunk;
  uint64_t reads;
  uint64_t bytes_read;
} Text;

static const void *read_text(void *context, uint32_t byte_index, uint32_t row, uint32_t column,
                             uint32_t *bytes_read) {
  (void)row;
  (void)column;
  Text *text = context;
  text->reads++;
  if (byte_index >= text->size) {
    *bytes_read = 0;
    return NULL;
  }
  uint32_t available = text->size - byte_index;
  *bytes_read = available < text->chunk ? available : text->chunk;
  text->bytes_read += *bytes_read;
  return text->bytes + byte_index;
}

static bool count_progress(void *context, uint32_t byte_offset) {
  (void)byte_offset;
  ++*(uint64_t *)context;
  return false;
}

BENCH_API MorvParser *bench_parser(const TSLanguage *language) {
  MorvParser *parser = morv_parser_create();
  if (parser != NULL && !morv_parser_set_language(parser, language)) {
    morv_parser_delete(parser);
    return NULL;
  }
  return parser;
}

BENCH_API void bench_parser_delete(MorvParser *parser) { morv_parser_delete(parser); }

BENCH_API void bench_tree_delete(MorvTree *tree) { morv_tree_delete(tree); }

/*
 * Parses `size` bytes of UTF-16 handed out `chunk` bytes at a time, after
 * reporting `edit` (start, old end, new end bytes, then the three positions)
 * to `old` unless `old` is null. stats[0..2] receive the read calls, the bytes
 * handed out and the progress calls (one per hundred parser operations).
 */
BENCH_API MorvTree *bench_parse(MorvParser *parser, MorvTree *old, const uint32_t *edit,
                                const void *utf16, uint32_t size, uint32_t chunk,
                                uint64_t *stats) {
  if (old != NULL) {
    morv_tree_edit(old, edit[0], edit[1], edit[2], edit[3], edit[4], edit[5], edit[6], edit[7],
                   edit[8]);
  }
  Text text = {utf16, size, chunk, 0, 0};
  uint64_t progress = 0;
  MorvTree *tree = morv_parser_parse(parser, old, read_text, &text,
                                     stats != NULL ? count_progress : NULL, &progress);
  if (stats != NULL) {
    stats[0] = text.reads;
    stats[1] = text.bytes_read;
    stats[2] = progress;
  }
  return tree;
}

static void walk(const MorvNode *node, uint64_t *sum) {
  sum[0]++;
  sum[1] += morv_node_start_byte(node) + morv_node_end_byte(node) + morv_node_symbol(node);
  uint32_t children = morv_node_child_count(node);
  for (uint32_t i = 0; i < children; i++) {
    MorvNode child;
    morv_node_child(node, i, &child);
    walk(&child, sum);
  }
}

/* Visits every node with one bridge call per child; sum[0] the count, sum[1] a checksum. */
BENCH_API void bench_walk(const MorvTree *tree, uint64_t *sum) {
  MorvNode root;
  morv_tree_root(tree, &root);
  sum[0] = 0;
  sum[1] = 0;
  walk(&root, sum);
}

BENCH_API MorvQuery *bench_query(const TSLanguage *language, const char *source, uint32_t length) {
  return morv_query_new(language, source, length, NULL, NULL);
}

BENCH_API void bench_query_delete(MorvQuery *query) { morv_query_delete(query); }

/* Reads every capture of the query over the tree; sum[0] the count, sum[1] a checksum. */
BENCH_API void bench_captures(const MorvTree *tree, const MorvQuery *query, uint64_t *sum) {
  MorvNode root;
  morv_tree_root(tree, &root);
  MorvCursor *cursor = morv_cursor_create();
  morv_cursor_exec(cursor, query, &root);
  MorvQueryMatch match;
  uint32_t index;
  sum[0] = 0;
  sum[1] = 0;
  while (morv_cursor_next_capture(cursor, &match, &index)) {
    const MorvQueryCapture *capture = &match.captures[index];
    sum[0]++;
    sum[1] += morv_node_start_byte(&capture->node) + morv_node_end_byte(&capture->node) +
              capture->index;
  }
  morv_cursor_delete(cursor);
}
