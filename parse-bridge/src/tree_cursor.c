#include <stdlib.h>

#include "handles.h"

/*
 * The library's tree cursor is a value that owns a heap stack of the path
 * from its root; the handle holds the value, so one allocation serves both
 * the caller's address and the cursor.
 */
struct MorvTreeCursor {
  TSTreeCursor cursor;
};

static MorvTreeCursor *wrap(TSTreeCursor cursor) {
  MorvTreeCursor *handle = malloc(sizeof *handle);
  if (handle == NULL) {
    ts_tree_cursor_delete(&cursor);
    return NULL;
  }
  handle->cursor = cursor;
  return handle;
}

MorvTreeCursor *morv_tree_cursor_create(const void *node) {
  TSNode self;
  if (!morv_node_load(node, &self)) {
    /* A cursor at the null node would dereference its id on every move. */
    return NULL;
  }
  return wrap(ts_tree_cursor_new(self));
}

void morv_tree_cursor_delete(MorvTreeCursor *cursor) {
  if (cursor == NULL) {
    return;
  }
  ts_tree_cursor_delete(&cursor->cursor);
  free(cursor);
}

bool morv_tree_cursor_reset(MorvTreeCursor *cursor, const void *node) {
  TSNode self;
  if (cursor == NULL || !morv_node_load(node, &self)) {
    return false;
  }
  ts_tree_cursor_reset(&cursor->cursor, self);
  return true;
}

MorvTreeCursor *morv_tree_cursor_copy(const MorvTreeCursor *cursor) {
  if (cursor == NULL) {
    return NULL;
  }
  return wrap(ts_tree_cursor_copy(&cursor->cursor));
}

void morv_tree_cursor_current_node(const MorvTreeCursor *cursor, void *node_out) {
  if (cursor == NULL) {
    morv_node_store_null(node_out);
    return;
  }
  morv_node_store(ts_tree_cursor_current_node(&cursor->cursor), node_out);
}

uint16_t morv_tree_cursor_current_field_id(const MorvTreeCursor *cursor) {
  return cursor != NULL ? ts_tree_cursor_current_field_id(&cursor->cursor) : 0;
}

uint32_t morv_tree_cursor_current_depth(const MorvTreeCursor *cursor) {
  return cursor != NULL ? ts_tree_cursor_current_depth(&cursor->cursor) : 0;
}

bool morv_tree_cursor_goto_first_child(MorvTreeCursor *cursor) {
  return cursor != NULL && ts_tree_cursor_goto_first_child(&cursor->cursor);
}

bool morv_tree_cursor_goto_last_child(MorvTreeCursor *cursor) {
  return cursor != NULL && ts_tree_cursor_goto_last_child(&cursor->cursor);
}

bool morv_tree_cursor_goto_next_sibling(MorvTreeCursor *cursor) {
  return cursor != NULL && ts_tree_cursor_goto_next_sibling(&cursor->cursor);
}

bool morv_tree_cursor_goto_previous_sibling(MorvTreeCursor *cursor) {
  return cursor != NULL && ts_tree_cursor_goto_previous_sibling(&cursor->cursor);
}

bool morv_tree_cursor_goto_parent(MorvTreeCursor *cursor) {
  return cursor != NULL && ts_tree_cursor_goto_parent(&cursor->cursor);
}

int64_t morv_tree_cursor_goto_first_child_for_byte(MorvTreeCursor *cursor, uint32_t byte) {
  return cursor != NULL ? ts_tree_cursor_goto_first_child_for_byte(&cursor->cursor, byte) : -1;
}
