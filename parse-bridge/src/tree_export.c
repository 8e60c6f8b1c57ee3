#include <stdlib.h>

#include "handles.h"

_Static_assert(sizeof(MorvNodeRecord) == 32, "record layout");
_Static_assert(offsetof(MorvNodeRecord, depth) == 16, "record layout");
_Static_assert(offsetof(MorvNodeRecord, child_count) == 20, "record layout");
_Static_assert(offsetof(MorvNodeRecord, symbol) == 24, "record layout");
_Static_assert(offsetof(MorvNodeRecord, field_id) == 26, "record layout");
_Static_assert(offsetof(MorvNodeRecord, flags) == 28, "record layout");

/*
 * A run walks the subtree with the library's tree cursor, which moves
 * through the tree's own child arrays without building parent links, and
 * pauses whenever the caller's buffer is full. While the run goes on, the
 * cursor rests on the next node to write.
 */
struct MorvTreeExport {
  TSTreeCursor cursor;
  bool has_cursor;
  bool running;
  uint32_t depth;
  uint32_t max_depth;
  uint32_t start_byte;
  uint32_t end_byte;
};

MorvTreeExport *morv_tree_export_create(void) {
  return calloc(1, sizeof(MorvTreeExport));
}

void morv_tree_export_delete(MorvTreeExport *run) {
  if (run == NULL) {
    return;
  }
  if (run->has_cursor) {
    ts_tree_cursor_delete(&run->cursor);
  }
  free(run);
}

/* Where a node lies against the range: before it, inside it, or after it. */
typedef enum Placement { Before, Inside, After } Placement;

static Placement place(const MorvTreeExport *run, TSNode node) {
  const uint32_t start = ts_node_start_byte(node);
  if (start >= run->end_byte) {
    return After;
  }
  /*
   * A node that ends where the range starts is in: so is the empty node that
   * the parser inserts for a missing closing token, and every ancestor of a
   * node in the range is in as well.
   */
  return ts_node_end_byte(node) >= run->start_byte ? Inside : Before;
}

bool morv_tree_export_start(MorvTreeExport *run, const void *node, uint32_t start_byte,
                            uint32_t end_byte, uint32_t max_depth) {
  if (run == NULL) {
    return false;
  }
  run->running = false;
  TSNode self;
  if (!morv_node_load(node, &self)) {
    return false;
  }
  if (end_byte == 0) {
    end_byte = UINT32_MAX;
  }
  if (start_byte > end_byte) {
    return false;
  }
  if (run->has_cursor) {
    ts_tree_cursor_reset(&run->cursor, self);
  } else {
    run->cursor = ts_tree_cursor_new(self);
    run->has_cursor = true;
  }
  run->start_byte = start_byte;
  run->end_byte = end_byte;
  run->max_depth = max_depth;
  run->depth = 0;
  run->running = place(run, self) == Inside;
  return true;
}

static void write_record(const TSTreeCursor *cursor, TSNode node, uint32_t depth,
                         MorvNodeRecord *record) {
  uint16_t flags = 0;
  if (ts_node_is_named(node)) flags |= MorvNodeFlagNamed;
  if (ts_node_is_missing(node)) flags |= MorvNodeFlagMissing;
  if (ts_node_is_error(node)) flags |= MorvNodeFlagError;
  if (ts_node_has_error(node)) flags |= MorvNodeFlagHasError;
  if (ts_node_is_extra(node)) flags |= MorvNodeFlagExtra;
  if (ts_node_has_changes(node)) flags |= MorvNodeFlagHasChanges;
  record->start_byte = ts_node_start_byte(node);
  record->end_byte = ts_node_end_byte(node);
  record->start_row = ts_node_start_point(node).row;
  record->end_row = ts_node_end_point(node).row;
  record->depth = depth;
  record->child_count = ts_node_child_count(node);
  record->symbol = ts_node_symbol(node);
  /* The cursor does not look above the run's root, whose field stays 0. */
  record->field_id = depth > 0 ? ts_tree_cursor_current_field_id(cursor) : 0;
  record->flags = flags;
  record->reserved = 0;
}

static Placement place_current(const MorvTreeExport *run) {
  if (run->start_byte == 0 && run->end_byte == UINT32_MAX) {
    return Inside;
  }
  return place(run, ts_tree_cursor_current_node(&run->cursor));
}

/*
 * From the cursor's current node, moves to the next node of the run in
 * document order that is not a descendant of it: a later sibling inside the
 * range, or else one of an ancestor. Returns false when the run is over.
 */
static bool advance_past_subtree(MorvTreeExport *run) {
  while (run->depth > 0) {
    while (ts_tree_cursor_goto_next_sibling(&run->cursor)) {
      const Placement placement = place_current(run);
      if (placement == Inside) {
        return true;
      }
      if (placement == After) {
        /* Later siblings start later still. */
        break;
      }
    }
    ts_tree_cursor_goto_parent(&run->cursor);
    run->depth--;
  }
  return false;
}

/* Moves to the first child inside the range, if the depth limit allows one. */
static bool descend(MorvTreeExport *run) {
  if (run->depth >= run->max_depth || !ts_tree_cursor_goto_first_child(&run->cursor)) {
    return false;
  }
  run->depth++;
  do {
    const Placement placement = place_current(run);
    if (placement == Inside) {
      return true;
    }
    if (placement == After) {
      break;
    }
  } while (ts_tree_cursor_goto_next_sibling(&run->cursor));
  /* No child is inside: back to the parent, whose later siblings come next. */
  ts_tree_cursor_goto_parent(&run->cursor);
  run->depth--;
  return false;
}

uint32_t morv_tree_export_next(MorvTreeExport *run, MorvNodeRecord *records, uint32_t capacity) {
  if (run == NULL || records == NULL || !run->running) {
    return 0;
  }
  uint32_t written = 0;
  while (written < capacity) {
    write_record(&run->cursor, ts_tree_cursor_current_node(&run->cursor), run->depth, &records[written++]);
    if (!descend(run) && !advance_past_subtree(run)) {
      run->running = false;
      break;
    }
  }
  return written;
}
