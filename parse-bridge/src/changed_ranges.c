#include <stdlib.h>

#include "handles.h"

/* The library's allocator hooks: its changed ranges come from its allocator. */
#include "alloc.h"

/*
 * The changed ranges of an edited tree and its re-parse.
 *
 * The library's own comparison misses a token that keeps its extent but
 * changes its symbol, which error recovery does far from the edit: an `else`
 * keyword becomes an identifier half a megabyte on, and no range covers it.
 * An editor that re-highlights only the changed ranges then keeps the stale
 * colour for good. So the ranges handed out are the library's joined with
 * those of a comparison of our own, which walks the two trees side by side
 * and skips every subtree the re-parse took over unchanged.
 */

typedef struct RangeList {
  TSRange *items;
  uint32_t size;
  uint32_t capacity;
  bool failed;
} RangeList;

static void add_range(RangeList *list, uint32_t start_byte, TSPoint start_point, uint32_t end_byte,
                      TSPoint end_point) {
  if (list->failed) {
    return;
  }
  if (list->size == list->capacity) {
    const uint32_t capacity = list->capacity == 0 ? 16 : 2 * list->capacity;
    TSRange *items = realloc(list->items, (size_t)capacity * sizeof *items);
    if (items == NULL) {
      list->failed = true;
      return;
    }
    list->items = items;
    list->capacity = capacity;
  }
  list->items[list->size++] = (TSRange){start_point, end_point, start_byte, end_byte};
}

static void add_node(RangeList *list, TSNode node) {
  add_range(list, ts_node_start_byte(node), ts_node_start_point(node), ts_node_end_byte(node),
            ts_node_end_point(node));
}

/* The extent of two nodes that start together. */
static void add_both(RangeList *list, TSNode a, TSNode b) {
  const TSNode longer = ts_node_end_byte(a) >= ts_node_end_byte(b) ? a : b;
  add_range(list, ts_node_start_byte(a), ts_node_start_point(a), ts_node_end_byte(longer),
            ts_node_end_point(longer));
}

/* The stretch between the ends of two nodes that start together. */
static void add_between_ends(RangeList *list, TSNode a, TSNode b) {
  const bool a_first = ts_node_end_byte(a) <= ts_node_end_byte(b);
  const TSNode first = a_first ? a : b;
  const TSNode last = a_first ? b : a;
  add_range(list, ts_node_end_byte(first), ts_node_end_point(first), ts_node_end_byte(last),
            ts_node_end_point(last));
}

static bool same_kind(TSNode a, TSNode b) {
  return ts_node_symbol(a) == ts_node_symbol(b) && ts_node_is_missing(a) == ts_node_is_missing(b);
}

/*
 * Walks the old (edited) and the new tree side by side, one cursor in each,
 * which keep the same depth. At each level the two lists of children are
 * merged by start byte:
 *   - a child without a partner that starts with it is new or gone: its
 *     extent changed;
 *   - partners that are one subtree (the re-parse reused it, and it sits at
 *     the same place) are equal throughout, and the walk skips them;
 *   - partners of different symbols, missing flags or fields changed over
 *     the extent of both;
 *   - partners of one kind changed between their ends, and the walk compares
 *     their children; a leaf against a node with children changed throughout.
 * Leaves of one kind and extent count as equal: a change of their text lies
 * in the edited range, which the caller knows.
 * The cursors are the walk's only stack, so deep trees cost no machine stack.
 */
static void compare_trees(const TSTree *old_tree, const TSTree *new_tree, RangeList *out) {
  TSTreeCursor a = ts_tree_cursor_new(ts_tree_root_node(old_tree));
  TSTreeCursor b = ts_tree_cursor_new(ts_tree_root_node(new_tree));
  /* The roots are the first partners; `depth` counts the levels below them. */
  bool a_live = true;
  bool b_live = true;
  uint32_t depth = 0;
  while (!out->failed) {
    if (!a_live && !b_live) {
      if (depth == 0) {
        break;
      }
      ts_tree_cursor_goto_parent(&a);
      ts_tree_cursor_goto_parent(&b);
      depth--;
      a_live = ts_tree_cursor_goto_next_sibling(&a);
      b_live = ts_tree_cursor_goto_next_sibling(&b);
      continue;
    }
    const TSNode x = ts_tree_cursor_current_node(&a);
    const TSNode y = ts_tree_cursor_current_node(&b);
    const uint32_t x_start = a_live ? ts_node_start_byte(x) : UINT32_MAX;
    const uint32_t y_start = b_live ? ts_node_start_byte(y) : UINT32_MAX;
    if (!b_live || (a_live && x_start < y_start)) {
      add_node(out, x);
      a_live = ts_tree_cursor_goto_next_sibling(&a);
      continue;
    }
    if (!a_live || y_start < x_start) {
      add_node(out, y);
      b_live = ts_tree_cursor_goto_next_sibling(&b);
      continue;
    }
    if (x.id != y.id) {
      if (!same_kind(x, y) || ts_tree_cursor_current_field_id(&a) != ts_tree_cursor_current_field_id(&b)) {
        add_both(out, x, y);
      } else {
        if (ts_node_end_byte(x) != ts_node_end_byte(y)) {
          add_between_ends(out, x, y);
        }
        const bool x_parent = ts_tree_cursor_goto_first_child(&a);
        const bool y_parent = ts_tree_cursor_goto_first_child(&b);
        if (x_parent && y_parent) {
          depth++;
          continue;
        }
        if (x_parent || y_parent) {
          add_both(out, x, y);
          ts_tree_cursor_goto_parent(x_parent ? &a : &b);
        }
      }
    }
    a_live = ts_tree_cursor_goto_next_sibling(&a);
    b_live = ts_tree_cursor_goto_next_sibling(&b);
  }
  ts_tree_cursor_delete(&a);
  ts_tree_cursor_delete(&b);
}

static int by_start(const void *left, const void *right) {
  const TSRange *a = left;
  const TSRange *b = right;
  if (a->start_byte != b->start_byte) {
    return a->start_byte < b->start_byte ? -1 : 1;
  }
  return a->end_byte < b->end_byte ? -1 : a->end_byte > b->end_byte;
}

/*
 * Sorts the ranges and joins those that overlap or touch. The library's own
 * ranges are already joined that way, so where the comparison finds nothing
 * beyond them they come out unchanged.
 */
static void join(RangeList *list) {
  if (list->size == 0) {
    return;
  }
  qsort(list->items, list->size, sizeof *list->items, by_start);
  uint32_t kept = 0;
  for (uint32_t i = 1; i < list->size; i++) {
    TSRange *last = &list->items[kept];
    const TSRange *next = &list->items[i];
    if (next->start_byte <= last->end_byte) {
      if (next->end_byte > last->end_byte) {
        last->end_byte = next->end_byte;
        last->end_point = next->end_point;
      }
    } else {
      list->items[++kept] = *next;
    }
  }
  list->size = kept + 1;
}

/*
 * The library compares the two trees' nodes with the old tree's symbol
 * tables; for trees of two languages that comparison means nothing, and the
 * whole text counts as changed. So does everything when memory runs out.
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
  RangeList list = {0};
  if (ts_tree_language(old_tree->tree) == ts_tree_language(new_tree->tree)) {
    uint32_t count = 0;
    TSRange *changed = ts_tree_get_changed_ranges(old_tree->tree, new_tree->tree, &count);
    for (uint32_t i = 0; i < count; i++) {
      add_range(&list, changed[i].start_byte, changed[i].start_point, changed[i].end_byte, changed[i].end_point);
    }
    ts_current_free(changed);
    compare_trees(old_tree->tree, new_tree->tree, &list);
    join(&list);
  } else {
    list.failed = true;
  }
  if (list.failed) {
    free(list.items);
    if (ranges != NULL && capacity > 0) {
      const TSRange whole = whole_extent(old_tree->tree, new_tree->tree);
      memcpy(ranges, &whole, sizeof whole);
    }
    return 1;
  }
  const uint32_t written = list.size < capacity ? list.size : capacity;
  if (written > 0) {
    memcpy(ranges, list.items, (size_t)written * sizeof *list.items);
  }
  free(list.items);
  return list.size;
}
