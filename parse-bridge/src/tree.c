#include <stdlib.h>

#include "handles.h"

MorvTree *morv_tree_wrap(TSTree *tree) {
  if (tree == NULL) {
    return NULL;
  }
  MorvTree *handle = calloc(1, sizeof *handle);
  if (handle == NULL) {
    ts_tree_delete(tree);
    return NULL;
  }
  handle->tree = tree;
  return handle;
}

MorvTree *morv_tree_copy(const MorvTree *tree) {
  if (tree == NULL || tree->tree == NULL) {
    return NULL;
  }
  return morv_tree_wrap(ts_tree_copy(tree->tree));
}

void morv_tree_delete(MorvTree *tree) {
  if (tree == NULL) {
    return;
  }
  if (tree->tree != NULL) {
    ts_tree_delete(tree->tree);
  }
  free(tree);
}

void morv_tree_root(const MorvTree *tree, void *node_out) {
  if (tree == NULL) {
    morv_node_store_null(node_out);
    return;
  }
  morv_node_store(ts_tree_root_node(tree->tree), node_out);
}

static bool point_before(TSPoint a, TSPoint b) {
  return a.row < b.row || (a.row == b.row && a.column < b.column);
}

/*
 * The library trusts an edit completely: offsets past the text or ends before
 * the start make it compute sizes that wrap around. An edit that is not
 * coherent with itself and with the tree is therefore widened to one that
 * certainly covers whatever the caller changed: the whole old text replaced
 * by text that ends where the caller's new end says. Nothing of the tree is
 * reused after that, so the next parse is a fresh one in effect.
 */
static TSInputEdit coherent_edit(const TSTree *tree, TSInputEdit edit) {
  const TSNode root = ts_tree_root_node(tree);
  const uint32_t text_end = ts_node_end_byte(root);
  const TSPoint text_end_point = ts_node_end_point(root);
  const bool bytes_ordered = edit.start_byte <= edit.old_end_byte &&
                             edit.old_end_byte <= text_end &&
                             edit.start_byte <= edit.new_end_byte &&
                             /* the new text's length must fit in 32 bits */
                             edit.new_end_byte - edit.start_byte <=
                                 UINT32_MAX - (text_end - (edit.old_end_byte - edit.start_byte));
  const bool points_ordered = !point_before(edit.old_end_point, edit.start_point) &&
                              !point_before(text_end_point, edit.old_end_point) &&
                              !point_before(edit.new_end_point, edit.start_point);
  if (bytes_ordered && points_ordered) {
    return edit;
  }
  TSInputEdit whole = {
      .start_byte = 0,
      .old_end_byte = text_end,
      .new_end_byte = edit.new_end_byte,
      .start_point = {0, 0},
      .old_end_point = text_end_point,
      .new_end_point = edit.new_end_point,
  };
  if (whole.new_end_byte == 0) {
    whole.new_end_point = whole.start_point;
  }
  return whole;
}

void morv_tree_edit(MorvTree *tree, uint32_t start_byte, uint32_t old_end_byte,
                    uint32_t new_end_byte, uint32_t start_row, uint32_t start_column,
                    uint32_t old_end_row, uint32_t old_end_column, uint32_t new_end_row,
                    uint32_t new_end_column) {
  if (tree == NULL) {
    return;
  }
  TSInputEdit edit = {
      .start_byte = start_byte,
      .old_end_byte = old_end_byte,
      .new_end_byte = new_end_byte,
      .start_point = {start_row, start_column},
      .old_end_point = {old_end_row, old_end_column},
      .new_end_point = {new_end_row, new_end_column},
  };
  edit = coherent_edit(tree->tree, edit);
  ts_tree_edit(tree->tree, &edit);
}
