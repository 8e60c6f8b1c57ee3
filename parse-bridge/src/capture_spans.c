#include <stdlib.h>

#include "handles.h"
#include "predicates.h"

/*
 * A run with text keeps the verdicts of the matches that passed, so that a
 * match whose captures come out one by one is judged once. Match ids grow
 * through a run, so a small table indexed by the id's low bits suffices.
 */
#define MORV_PASSED_SLOTS 64u

struct MorvTextRun {
  /* Null for a run without text: nothing is filtered. */
  const MorvPredicateTable *table;
  MorvPredicateContext context;
  uint32_t passed[MORV_PASSED_SLOTS];
};

static TSQueryCursor *library_cursor(const MorvCursor *cursor) {
  return (TSQueryCursor *)(cursor->tagged & ~MORV_CURSOR_NOT_RUN);
}

void morv_text_run_end(MorvCursor *cursor) {
  if (cursor->text_run != NULL) {
    cursor->text_run->table = NULL;
  }
}

void morv_text_run_free(MorvCursor *cursor) {
  struct MorvTextRun *run = cursor->text_run;
  if (run == NULL) {
    return;
  }
  pcre2_match_data_free_16(run->context.match_data);
  pcre2_match_context_free_16(run->context.match_context);
  free(run);
  cursor->text_run = NULL;
}

/* The query's predicate table, built by the first run that needs it. */
static const MorvPredicateTable *predicate_table(const MorvQuery *query) {
  MorvQuery *cell = (MorvQuery *)query;
  MorvPredicateTable *table = atomic_load_explicit(&cell->predicates, memory_order_acquire);
  if (table != NULL) {
    return table;
  }
  MorvPredicateTable *built = morv_predicates_build(query->query);
  if (built == NULL) {
    return NULL;
  }
  if (!atomic_compare_exchange_strong_explicit(&cell->predicates, &table, built,
                                               memory_order_acq_rel, memory_order_acquire)) {
    /* Another thread published its table first; `table` now holds it. */
    morv_predicates_free(built);
    return table;
  }
  return built;
}

void morv_cursor_set_match_limit(MorvCursor *cursor, uint32_t limit) {
  if (cursor == NULL) {
    return;
  }
  ts_query_cursor_set_match_limit(library_cursor(cursor),
                                  limit != 0 && limit < MORV_MATCH_LIMIT_MAX ? limit
                                                                             : MORV_MATCH_LIMIT_MAX);
}

bool morv_cursor_did_exceed_match_limit(const MorvCursor *cursor) {
  return cursor != NULL && ts_query_cursor_did_exceed_match_limit(library_cursor(cursor));
}

void morv_cursor_exec_text(MorvCursor *cursor, const MorvQuery *query, const void *node,
                           const void *text, uint32_t byte_length) {
  if (cursor == NULL) {
    return;
  }
  const MorvPredicateTable *table = NULL;
  struct MorvTextRun *run = cursor->text_run;
  if (query != NULL && text != NULL) {
    table = predicate_table(query);
    if (table != NULL && run == NULL) {
      run = calloc(1, sizeof *run);
      if (run != NULL) {
        run->context.match_data = pcre2_match_data_create_16(1, NULL);
        run->context.match_context = morv_predicates_match_context();
        cursor->text_run = run;
        if (run->context.match_data == NULL || run->context.match_context == NULL) {
          morv_text_run_free(cursor);
          run = NULL;
        }
      }
    }
  }
  if (table == NULL || run == NULL) {
    /* Refused like a null query: the earlier run ends all the same. */
    morv_cursor_exec(cursor, NULL, NULL);
    return;
  }
  morv_cursor_exec(cursor, query, node);
  if ((cursor->tagged & MORV_CURSOR_NOT_RUN) != 0) {
    return;
  }
  run->table = table;
  run->context.text = text;
  run->context.byte_length = byte_length;
  memset(run->passed, 0xff, sizeof run->passed);
}

static void write_span(MorvCaptureSpan *span, const TSQueryMatch *match, uint32_t index) {
  const TSNode node = match->captures[index].node;
  span->start_byte = ts_node_start_byte(node);
  span->end_byte = ts_node_end_byte(node);
  span->capture_id = (uint16_t)match->captures[index].index;
  span->pattern_index = match->pattern_index;
  span->match_id = match->id;
}

uint32_t morv_cursor_next_captures(MorvCursor *cursor, MorvCaptureSpan *spans, uint32_t capacity) {
  if (cursor == NULL || spans == NULL || !morv_cursor_run_live(cursor)) {
    return 0;
  }
  TSQueryCursor *library = library_cursor(cursor);
  struct MorvTextRun *run = cursor->text_run;
  const MorvPredicateTable *table = run != NULL ? run->table : NULL;
  uint32_t written = 0;
  TSQueryMatch match;
  uint32_t index;
  /* Captures read this way free the lists that a pending match points to. */
  cursor->pending.capture_count = 0;
  while (written < capacity) {
    if (!ts_query_cursor_next_capture(library, &match, &index)) {
      morv_cursor_run_end(cursor);
      break;
    }
    if (table != NULL && morv_predicates_filter(table, match.pattern_index)) {
      uint32_t *slot = &run->passed[match.id % MORV_PASSED_SLOTS];
      if (*slot != match.id) {
        if (!morv_predicates_pass(table, &match, &run->context)) {
          /* Its other captures must not come out either. */
          ts_query_cursor_remove_match(library, match.id);
          continue;
        }
        *slot = match.id;
      }
    }
    write_span(&spans[written++], &match, index);
  }
  return written;
}

uint32_t morv_cursor_next_match_captures(MorvCursor *cursor, MorvCaptureSpan *spans,
                                         uint32_t capacity) {
  if (cursor == NULL || spans == NULL || !morv_cursor_run_live(cursor)) {
    return 0;
  }
  TSQueryCursor *library = library_cursor(cursor);
  struct MorvTextRun *run = cursor->text_run;
  const MorvPredicateTable *table = run != NULL ? run->table : NULL;
  TSQueryMatch *match = &cursor->pending;
  uint32_t written = 0;
  while (written < capacity) {
    if (cursor->pending_next >= match->capture_count) {
      cursor->pending_next = 0;
      if (!ts_query_cursor_next_match(library, match)) {
        morv_cursor_run_end(cursor);
        break;
      }
      if (table != NULL && morv_predicates_filter(table, match->pattern_index) &&
          !morv_predicates_pass(table, match, &run->context)) {
        match->capture_count = 0;
        continue;
      }
    }
    write_span(&spans[written++], match, cursor->pending_next++);
  }
  return written;
}
