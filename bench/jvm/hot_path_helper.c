/*
 * The C sides of the JVM hot-path and structure benchmark: whole-file spans
 * through the bridge, tree-sitter's own query cursor with the highlight
 * predicates evaluated in C (the same regular-expression engine as the
 * bridge), a parse from a UTF-16 buffer, a structure walk with the tree
 * cursor writing node records, and the heap in use. Called once per
 * measured round through JNA. Loaded by the benchmark only.
 */
#include <malloc.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <tree_sitter/api.h>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include "morv_ts.h"

#define BENCH_API __attribute__((visibility("default")))

BENCH_API MorvTree *bench_parse_utf16(MorvParser *parser, const void *text, uint32_t bytes) {
  return morv_parser_parse_utf16(parser, NULL, text, bytes, NULL, 0);
}

/* Every span of a run with text; sum[0] the count, sum[1] a checksum. */
BENCH_API void bench_spans(const MorvTree *tree, const MorvQuery *query, const void *text, uint32_t bytes,
                           uint64_t *sum) {
  static MorvCaptureSpan spans[4096];
  MorvNode root;
  morv_tree_root(tree, &root);
  MorvCursor *cursor = morv_cursor_create();
  morv_cursor_exec_text(cursor, query, &root, text, bytes);
  sum[0] = 0;
  sum[1] = 0;
  uint32_t n;
  while ((n = morv_cursor_next_captures(cursor, spans, 4096)) != 0) {
    for (uint32_t i = 0; i < n; i++) {
      sum[1] += spans[i].start_byte + spans[i].end_byte + spans[i].capture_id;
    }
    sum[0] += n;
  }
  morv_cursor_delete(cursor);
}

typedef struct Predicate {
  uint32_t capture;
  int negate;
  const uint16_t *value;
  uint32_t length;
  pcre2_code_16 *regex;
} Predicate;

typedef struct Direct {
  TSParser *parser;
  TSTree *tree;
  TSQuery *query;
  TSQueryCursor *cursor;
  pcre2_match_data_16 *data;
  const uint16_t *text;
  uint32_t *first;   /* predicates of pattern p: first[p] .. first[p + 1] */
  Predicate *predicates;
  uint16_t *strings;
} Direct;

/*
 * tree-sitter used directly on the same text: its own parse and query cursor,
 * and the highlight files' predicates (#eq?, #match? and their not- forms
 * against a string) evaluated per match in C, as a C caller would.
 */
BENCH_API Direct *bench_direct_new(const TSLanguage *language, const char *source, uint32_t length,
                                   const uint16_t *text, uint32_t bytes) {
  Direct *d = calloc(1, sizeof *d);
  d->parser = ts_parser_new();
  ts_parser_set_language(d->parser, language);
  d->tree = ts_parser_parse_string_encoding(d->parser, NULL, (const char *)text, bytes, TSInputEncodingUTF16LE);
  uint32_t offset;
  TSQueryError error;
  d->query = ts_query_new(language, source, length, &offset, &error);
  d->cursor = ts_query_cursor_new();
  d->data = pcre2_match_data_create_16(1, NULL);
  d->text = text;
  uint32_t patterns = ts_query_pattern_count(d->query);
  d->first = calloc(patterns + 1, sizeof *d->first);
  d->predicates = calloc(length + 1, sizeof *d->predicates);
  d->strings = calloc(length + 1, sizeof *d->strings);
  uint32_t count = 0;
  uint32_t used = 0;
  for (uint32_t p = 0; p < patterns; p++) {
    d->first[p] = count;
    uint32_t steps_count;
    const TSQueryPredicateStep *steps = ts_query_predicates_for_pattern(d->query, p, &steps_count);
    for (uint32_t i = 0; i < steps_count;) {
      uint32_t end = i;
      while (end < steps_count && steps[end].type != TSQueryPredicateStepTypeDone) end++;
      if (end - i == 3 && steps[i].type == TSQueryPredicateStepTypeString &&
          steps[i + 1].type == TSQueryPredicateStepTypeCapture && steps[i + 2].type == TSQueryPredicateStepTypeString) {
        uint32_t n;
        const char *op = ts_query_string_value_for_id(d->query, steps[i].value_id, &n);
        int match = n >= 6 && strncmp(op + n - 6, "match?", 6) == 0;
        int eq = n >= 3 && strncmp(op + n - 3, "eq?", 3) == 0;
        if (match || eq) {
          Predicate *pr = &d->predicates[count++];
          pr->capture = steps[i + 1].value_id;
          pr->negate = strstr(op, "not-") != NULL && (size_t)(strstr(op, "not-") - op) < n;
          const char *value = ts_query_string_value_for_id(d->query, steps[i + 2].value_id, &n);
          pr->value = d->strings + used;
          for (uint32_t k = 0; k < n; k++) d->strings[used + k] = (unsigned char)value[k];  /* ASCII patterns */
          pr->length = n;
          used += n;
          if (match) {
            int code;
            PCRE2_SIZE at;
            pr->regex = pcre2_compile_16(pr->value, n, PCRE2_UTF, &code, &at, NULL);
          }
        }
      }
      i = end + 1;
    }
  }
  d->first[patterns] = count;
  return d;
}

static int passes(Direct *d, const TSQueryMatch *match) {
  for (uint32_t k = d->first[match->pattern_index]; k < d->first[match->pattern_index + 1]; k++) {
    const Predicate *p = &d->predicates[k];
    for (uint16_t i = 0; i < match->capture_count; i++) {
      if (match->captures[i].index != p->capture) continue;
      uint32_t start = ts_node_start_byte(match->captures[i].node) / 2;
      uint32_t end = ts_node_end_byte(match->captures[i].node) / 2;
      int hit;
      if (p->regex != NULL) {
        hit = pcre2_match_16(p->regex, d->text + start, end - start, 0, 0, d->data, NULL) >= 0;
      } else {
        hit = end - start == p->length && memcmp(d->text + start, p->value, 2 * (size_t)p->length) == 0;
      }
      if (hit == p->negate) return 0;
    }
  }
  return 1;
}

BENCH_API void bench_direct_spans(Direct *d, uint64_t *sum) {
  ts_query_cursor_exec(d->cursor, d->query, ts_tree_root_node(d->tree));
  TSQueryMatch match;
  uint32_t index;
  uint32_t passed = UINT32_MAX;
  sum[0] = 0;
  sum[1] = 0;
  while (ts_query_cursor_next_capture(d->cursor, &match, &index)) {
    if (match.id != passed && d->first[match.pattern_index] != d->first[match.pattern_index + 1]) {
      if (!passes(d, &match)) {
        ts_query_cursor_remove_match(d->cursor, match.id);
        continue;
      }
      passed = match.id;
    }
    TSNode node = match.captures[index].node;
    sum[0]++;
    sum[1] += ts_node_start_byte(node) + ts_node_end_byte(node) + match.captures[index].index;
  }
}

BENCH_API void bench_direct_delete(Direct *d) {
  uint32_t patterns = ts_query_pattern_count(d->query);
  for (uint32_t k = 0; k < d->first[patterns]; k++) pcre2_code_free_16(d->predicates[k].regex);
  free(d->first);
  free(d->predicates);
  free(d->strings);
  pcre2_match_data_free_16(d->data);
  ts_query_cursor_delete(d->cursor);
  ts_query_delete(d->query);
  ts_tree_delete(d->tree);
  ts_parser_delete(d->parser);
  free(d);
}

/*
 * Every node's record, written by a walk with the bridge's tree cursor and
 * the node functions: what the bulk export writes, the C way. Returns the
 * number of nodes; writes the first `capacity`.
 */
BENCH_API uint32_t bench_cursor_records(const MorvTree *tree, MorvNodeRecord *out, uint32_t capacity) {
  MorvNode root;
  morv_tree_root(tree, &root);
  MorvTreeCursor *cursor = morv_tree_cursor_create(&root);
  uint32_t n = 0;
  for (;;) {
    MorvNode node;
    morv_tree_cursor_current_node(cursor, &node);
    if (n < capacity) {
      MorvNodeRecord *r = &out[n];
      MorvPoint start, end;
      morv_node_start_point(&node, &start);
      morv_node_end_point(&node, &end);
      r->start_byte = morv_node_start_byte(&node);
      r->end_byte = morv_node_end_byte(&node);
      r->start_row = start.row;
      r->end_row = end.row;
      r->depth = morv_tree_cursor_current_depth(cursor);
      r->child_count = morv_node_child_count(&node);
      r->symbol = morv_node_symbol(&node);
      r->field_id = morv_tree_cursor_current_field_id(cursor);
      r->flags = (uint16_t)((morv_node_is_named(&node) ? MorvNodeFlagNamed : 0) |
                            (morv_node_is_missing(&node) ? MorvNodeFlagMissing : 0) |
                            (morv_node_is_error(&node) ? MorvNodeFlagError : 0) |
                            (morv_node_has_error(&node) ? MorvNodeFlagHasError : 0) |
                            (morv_node_is_extra(&node) ? MorvNodeFlagExtra : 0));
      r->reserved = 0;
    }
    n++;
    if (morv_tree_cursor_goto_first_child(cursor)) continue;
    while (!morv_tree_cursor_goto_next_sibling(cursor)) {
      if (!morv_tree_cursor_goto_parent(cursor)) {
        morv_tree_cursor_delete(cursor);
        return n;
      }
    }
  }
}

/* Bytes of the C heap in use. */
BENCH_API uint64_t bench_heap_in_use(void) {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}
