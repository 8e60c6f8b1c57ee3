#include <stdlib.h>

#include "handles.h"

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
  ts_tree_edit(tree->tree, &edit);
}
