#ifndef MORV_TS_HANDLES_H_
#define MORV_TS_HANDLES_H_

/*
 * The handle cells and the node copies shared by the export files. The
 * caller treats every handle as an opaque address; tree cells are one
 * pointer wide, the other cells carry what their runs need.
 * The layouts of the public records are the library's own, which
 * the assertions below hold the header to.
 */

#include <stddef.h>
#include <stdint.h>
#include <stdatomic.h>
#include <string.h>

#include <tree_sitter/api.h>

#include "morv_ts.h"

/*
 * `reset_pending`: a parse of text was stopped, and the parser must start
 * afresh before its next parse (parse_utf16.c says why that waits).
 */
struct MorvParser {
  TSParser *parser;
  bool reset_pending;
};

struct MorvTree {
  TSTree *tree;
};

struct MorvPredicateTable;
struct MorvTextRun;

/*
 * `predicates` is the query's text predicates, parsed and their regular
 * expressions compiled on the first run with text (see predicates.h); it is
 * published atomically, so cursors on two threads may race to build it.
 */
struct MorvQuery {
  TSQuery *query;
  struct MorvPredicateTable *_Atomic predicates;
};

/*
 * The library's cursor has no state that says "never run", and advancing one
 * that never ran reads an empty stack. The cell therefore keeps that fact in
 * the lowest bit of the (allocator-aligned) cursor pointer.
 *
 * `run_tree` is a copy of the run's tree (`tree`, the caller's), taken at
 * exec: an edit of the caller's tree gives it new subtrees and drops its
 * references to the old ones, which the run is still walking (and which
 * another tree may be the last to hold). The copy keeps them alive until the
 * run ends, and its root tells that the caller's tree was edited since. The
 * caller never reads the cell, so it may be wider than a pointer.
 */
struct MorvCursor {
  uintptr_t tagged;
  TSTree *run_tree;
  const TSTree *tree;
  /* The state of a run with text; null until the first such run. */
  struct MorvTextRun *text_run;
  /*
   * The match whose captures `morv_cursor_next_match_captures` hands out,
   * and how many of them it handed out already; its captures are the
   * library's until the run's next match or its end.
   */
  TSQueryMatch pending;
  uint32_t pending_next;
};

#define MORV_CURSOR_NOT_RUN ((uintptr_t)1)

/*
 * The library numbers the capture lists of the matches in progress with 16
 * bits and takes the all-ones value for "none"; past 65535 lists the numbers
 * wrap, two matches share one list, and a released list is read as a live
 * one. A cursor's match limit therefore never exceeds this, the library's own
 * default (no limit) included.
 */
#define MORV_MATCH_LIMIT_MAX 65535u

/* Ends the text part of a run (the next run filters nothing), and frees it (capture_spans.c). */
void morv_text_run_end(MorvCursor *cursor);
void morv_text_run_free(MorvCursor *cursor);

/*
 * Whether the cursor's run may go on; a run whose tree was edited since its
 * exec is ended here (cursor.c). Ending a run releases its tree copy.
 */
bool morv_cursor_run_live(MorvCursor *cursor);
void morv_cursor_run_end(MorvCursor *cursor);

/*
 * A new handle around a library tree, which it then owns; null for a null
 * tree, and when the handle cannot be allocated, in which case the tree is
 * deleted: no channel reports that but the null result (tree.c).
 */
MorvTree *morv_tree_wrap(TSTree *tree);

/*
 * Parses the UTF-16LE text that `read` delivers, asking `progress` (may be
 * null) whether to stop, and reuses `old_tree` unless it is of another
 * language; first resets the parser if a stopped parse left that pending.
 * Returns the library's tree, or null when stopped or when the parser has no
 * language (parser.c).
 */
TSTree *morv_parser_run(MorvParser *parser, const MorvTree *old_tree,
                        const char *(*read)(void *payload, uint32_t byte_index, TSPoint position,
                                            uint32_t *bytes_read),
                        void *read_payload, bool (*progress)(TSParseState *state),
                        void *progress_payload);

_Static_assert(sizeof(MorvTree) == sizeof(void *), "a handle is one pointer");

_Static_assert(sizeof(MorvNode) == sizeof(TSNode) && sizeof(TSNode) == 32, "node layout");
_Static_assert(offsetof(MorvNode, id) == offsetof(TSNode, id), "node layout");
_Static_assert(offsetof(MorvNode, tree) == offsetof(TSNode, tree), "node layout");
_Static_assert(sizeof(MorvQueryCapture) == sizeof(TSQueryCapture) && sizeof(TSQueryCapture) == 40,
               "capture layout");
_Static_assert(offsetof(MorvQueryCapture, index) == offsetof(TSQueryCapture, index),
               "capture layout");
_Static_assert(sizeof(MorvQueryMatch) == sizeof(TSQueryMatch) && sizeof(TSQueryMatch) == 16,
               "match layout");
_Static_assert(offsetof(MorvQueryMatch, pattern_index) == offsetof(TSQueryMatch, pattern_index),
               "match layout");
_Static_assert(offsetof(MorvQueryMatch, capture_count) == offsetof(TSQueryMatch, capture_count),
               "match layout");
_Static_assert(offsetof(MorvQueryMatch, captures) == offsetof(TSQueryMatch, captures),
               "match layout");
_Static_assert(sizeof(MorvPoint) == sizeof(TSPoint) && offsetof(MorvPoint, column) == 4,
               "point layout");
_Static_assert(sizeof(MorvRange) == sizeof(TSRange) && sizeof(TSRange) == 24, "range layout");
_Static_assert(offsetof(MorvRange, end_point) == offsetof(TSRange, end_point), "range layout");
_Static_assert(offsetof(MorvRange, start_byte) == offsetof(TSRange, start_byte), "range layout");
_Static_assert(offsetof(MorvRange, end_byte) == offsetof(TSRange, end_byte), "range layout");
_Static_assert(sizeof(MorvCaptureSpan) == 16, "span layout");
_Static_assert(sizeof(MorvPredicateStep) == sizeof(TSQueryPredicateStep) &&
                   sizeof(TSQueryPredicateStep) == 8,
               "predicate step layout");
_Static_assert(sizeof(bool) == 1, "booleans cross the interface as one byte");
_Static_assert(TSInputEncodingUTF16LE == 1, "the bridge reads UTF-16LE");
_Static_assert((int)TSQueryErrorLanguage == (int)MorvQueryErrorLanguage, "query error codes");
_Static_assert((int)TSQueryPredicateStepTypeString == (int)MorvPredicateStepString, "step types");

/*
 * Nodes travel through unaligned caller buffers, so they are copied bytewise.
 * The library dereferences a node's id unchecked, so a null address and the
 * null node are both refused here.
 */
static inline bool morv_node_load(const void *node, TSNode *out) {
  if (node == NULL) {
    return false;
  }
  memcpy(out, node, sizeof *out);
  return out->id != NULL;
}

static inline void morv_node_store(TSNode node, void *node_out) {
  if (node_out != NULL) {
    memcpy(node_out, &node, sizeof node);
  }
}

static inline void morv_node_store_null(void *node_out) {
  if (node_out != NULL) {
    memset(node_out, 0, sizeof(TSNode));
  }
}

#endif /* MORV_TS_HANDLES_H_ */
