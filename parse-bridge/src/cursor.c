#include <stdlib.h>

#include "handles.h"

static TSQueryCursor *cursor_of(const MorvCursor *cursor) {
  return (TSQueryCursor *)(cursor->tagged & ~MORV_CURSOR_NOT_RUN);
}

MorvCursor *morv_cursor_create(void) {
  MorvCursor *handle = calloc(1, sizeof *handle);
  if (handle == NULL) {
    return NULL;
  }
  handle->tagged = (uintptr_t)ts_query_cursor_new() | MORV_CURSOR_NOT_RUN;
  return handle;
}

void morv_cursor_delete(MorvCursor *cursor) {
  if (cursor == NULL) {
    return;
  }
  if (cursor_of(cursor) != NULL) {
    ts_query_cursor_delete(cursor_of(cursor));
  }
  morv_text_run_free(cursor);
  free(cursor);
}

bool morv_cursor_set_byte_range(MorvCursor *cursor, uint32_t start_byte, uint32_t end_byte) {
  if (cursor == NULL) {
    return false;
  }
  /* The library itself reads an end of 0 as "no limit" and rejects start > end unchanged. */
  return ts_query_cursor_set_byte_range(cursor_of(cursor), start_byte, end_byte);
}

void morv_cursor_exec(MorvCursor *cursor, const MorvQuery *query, const void *node) {
  if (cursor == NULL) {
    return;
  }
  /* A run without text filters nothing, whatever the earlier run read. */
  morv_text_run_end(cursor);
  TSNode self;
  if (query == NULL || !morv_node_load(node, &self)) {
    /*
     * The earlier run is over all the same: its tree may already be gone, so
     * going on with it would read freed memory.
     */
    cursor->tagged |= MORV_CURSOR_NOT_RUN;
    return;
  }
  ts_query_cursor_exec(cursor_of(cursor), query->query, self);
  cursor->tagged &= ~MORV_CURSOR_NOT_RUN;
}

bool morv_cursor_next_capture(MorvCursor *cursor, MorvQueryMatch *match,
                              uint32_t *capture_index) {
  if (cursor == NULL || (cursor->tagged & MORV_CURSOR_NOT_RUN) != 0 || match == NULL ||
      capture_index == NULL) {
    return false;
  }
  TSQueryMatch result;
  if (!ts_query_cursor_next_capture(cursor_of(cursor), &result, capture_index)) {
    return false;
  }
  memcpy(match, &result, sizeof result);
  return true;
}
