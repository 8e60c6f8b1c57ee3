#include <stdlib.h>

#include "handles.h"
#include "tree.h"

static TSQueryCursor *cursor_of(const MorvCursor *cursor) {
  return (TSQueryCursor *)(cursor->tagged & ~MORV_CURSOR_NOT_RUN);
}

MorvCursor *morv_cursor_create(void) {
  MorvCursor *handle = calloc(1, sizeof *handle);
  if (handle == NULL) {
    return NULL;
  }
  TSQueryCursor *library = ts_query_cursor_new();
  ts_query_cursor_set_match_limit(library, MORV_MATCH_LIMIT_MAX);
  handle->tagged = (uintptr_t)library | MORV_CURSOR_NOT_RUN;
  handle->run_tree = NULL;
  handle->tree = NULL;
  return handle;
}

/* Ends the run, if any, and lets go of the subtrees it kept alive. */
static void end_run(MorvCursor *cursor) {
  cursor->tagged |= MORV_CURSOR_NOT_RUN;
  cursor->pending.capture_count = 0;
  cursor->pending_next = 0;
  if (cursor->run_tree != NULL) {
    ts_tree_delete(cursor->run_tree);
    cursor->run_tree = NULL;
  }
  cursor->tree = NULL;
}

void morv_cursor_delete(MorvCursor *cursor) {
  if (cursor == NULL) {
    return;
  }
  end_run(cursor);
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
  /*
   * The earlier run is over, even when no new one starts: its tree may
   * already be gone, so going on with it would read freed memory.
   */
  end_run(cursor);
  /* A run without text filters nothing, whatever the earlier run read. */
  morv_text_run_end(cursor);
  TSNode self;
  if (query == NULL || !morv_node_load(node, &self)) {
    return;
  }
  cursor->tree = self.tree;
  cursor->run_tree = ts_tree_copy(self.tree);
  ts_query_cursor_exec(cursor_of(cursor), query->query, self);
  cursor->tagged &= ~MORV_CURSOR_NOT_RUN;
}

bool morv_cursor_run_live(MorvCursor *cursor) {
  if ((cursor->tagged & MORV_CURSOR_NOT_RUN) != 0) {
    return false;
  }
  /*
   * An edit gives the tree a new root while the copy holds the old one. What
   * the run would report after it mixes the text before and after the edit,
   * so the edit ends the run.
   */
  if (memcmp(&cursor->tree->root, &cursor->run_tree->root, sizeof(Subtree)) != 0) {
    morv_cursor_run_end(cursor);
    return false;
  }
  return true;
}

void morv_cursor_run_end(MorvCursor *cursor) {
  end_run(cursor);
}

bool morv_cursor_next_capture(MorvCursor *cursor, MorvQueryMatch *match,
                              uint32_t *capture_index) {
  if (cursor == NULL || match == NULL || capture_index == NULL || !morv_cursor_run_live(cursor)) {
    return false;
  }
  /*
   * An ended run lets go of the copy at once: held on, it would keep every
   * old version of an often edited tree alive.
   */
  /* Captures read this way free the lists that a pending match points to. */
  cursor->pending.capture_count = 0;
  TSQueryMatch result;
  if (!ts_query_cursor_next_capture(cursor_of(cursor), &result, capture_index)) {
    end_run(cursor);
    return false;
  }
  memcpy(match, &result, sizeof result);
  return true;
}
