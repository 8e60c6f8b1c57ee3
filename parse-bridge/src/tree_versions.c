#include <stdlib.h>

#include "handles.h"

/* The library's allocator hooks: the changed ranges come from its allocator. */
#include "alloc.h"

MorvTree *morv_tree_copy(const MorvTree *tree) {
  if (tree == NULL || tree->tree == NULL) {
    return NULL;
  }
  return morv_tree_wrap(ts_tree_copy(tree->tree));
}

/*
 * The library compares the two trees' nodes with the old tree's symbol
 * tables; for trees of two languages that comparison means nothing, and the
 * whole text counts as changed.
 */
static TSRange whole_extent(const TSTree *old_tree, const TSTree *new_tree) {
  const TSNode a = ts_tree_root_node(old_tree);
  const TSNode b = ts_tree_root_node(new_tree);
  const TSPoint end_a = ts_node_end_point(a);
  const TSPoint end_b = ts_node_end_point(b);
  const bool b_later = end_b.row > end_a.row || (end_b.row == end_a.row && end_b.column > end_a.column);
  const uint32_t end_byte_a = ts_node_end_byte(a);
  const uint32_t end_byte_b = ts_node_end_byte(b);
  TSRange range = {
      .start_point = {0, 0},
      .end_point = b_later ? end_b : end_a,
      .start_byte = 0,
      .end_byte = end_byte_b > end_byte_a ? end_byte_b : end_byte_a,
  };
  return range;
}

uint32_t morv_tree_changed_ranges(const MorvTree *old_tree, const MorvTree *new_tree,
                                  MorvRange *ranges, uint32_t capacity) {
  if (old_tree == NULL || new_tree == NULL || (ranges == NULL && capacity != 0)) {
    return 0;
  }
  if (ts_tree_language(old_tree->tree) != ts_tree_language(new_tree->tree)) {
    if (ranges != NULL && capacity > 0) {
      const TSRange whole = whole_extent(old_tree->tree, new_tree->tree);
      memcpy(ranges, &whole, sizeof whole);
    }
    return 1;
  }
  uint32_t count = 0;
  TSRange *changed = ts_tree_get_changed_ranges(old_tree->tree, new_tree->tree, &count);
  const uint32_t written = count < capacity ? count : capacity;
  if (written > 0) {
    memcpy(ranges, changed, (size_t)written * sizeof *changed);
  }
  ts_current_free(changed);
  return count;
}
