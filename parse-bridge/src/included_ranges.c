#include <stddef.h>

#include "handles.h"

/* The library's allocator hooks, for the copy that it hands out. */
#include "alloc.h"

_Static_assert(sizeof(MorvPoint) == sizeof(TSPoint) && sizeof(TSPoint) == 8, "point layout");
_Static_assert(sizeof(MorvRange) == sizeof(TSRange) && sizeof(TSRange) == 24, "range layout");
_Static_assert(offsetof(MorvRange, end_point) == offsetof(TSRange, end_point), "range layout");
_Static_assert(offsetof(MorvRange, start_byte) == offsetof(TSRange, start_byte), "range layout");
_Static_assert(offsetof(MorvRange, end_byte) == offsetof(TSRange, end_byte), "range layout");

static bool point_before(MorvPoint a, MorvPoint b) {
  return a.row < b.row || (a.row == b.row && a.column < b.column);
}

bool morv_parser_set_included_ranges(MorvParser *parser, const MorvRange *ranges,
                                     uint32_t count) {
  if (parser == NULL || (ranges == NULL && count != 0)) {
    /* The library would read a null list as "the whole document" and report success. */
    return false;
  }
  /*
   * The library checks the byte order only; the lexer also jumps to each
   * range's start point, so points out of order would give rows that no
   * longer match the text.
   */
  for (uint32_t i = 0; i < count; ++i) {
    const MorvRange *range = &ranges[i];
    if (range->end_byte < range->start_byte || point_before(range->end_point, range->start_point)) {
      return false;
    }
    if (i > 0 && (range->start_byte < ranges[i - 1].end_byte ||
                  point_before(range->start_point, ranges[i - 1].end_point))) {
      return false;
    }
  }
  return ts_parser_set_included_ranges(parser->parser, (const TSRange *)ranges, count);
}

uint32_t morv_tree_included_ranges(const MorvTree *tree, MorvRange *ranges, uint32_t capacity) {
  if (tree == NULL) {
    return 0;
  }
  uint32_t count = 0;
  TSRange *copy = ts_tree_included_ranges(tree->tree, &count);
  if (ranges != NULL) {
    const uint32_t written = count < capacity ? count : capacity;
    if (written > 0) {
      memcpy(ranges, copy, written * sizeof *copy);
    }
  }
  ts_free(copy);
  return count;
}
