#ifndef MORV_TS_H_
#define MORV_TS_H_

/*
 * morv-ts: a flat C interface over the tree-sitter parsing library, made to
 * be called through a foreign-function layer (the editor's JVM code).
 *
 * Parsers, trees, queries and query cursors cross this interface as handles:
 * a heap cell around the library object. A handle is valid from the create
 * function (or the parse) that returned it until its delete function; using
 * it after that cannot be detected and stays the caller's fault.
 *
 * The caller passes whatever it holds, and a crash here would take the whole
 * editor down, so no export trusts its pointers: a null handle, a null node
 * address, the null node or a null out-pointer gives the export's failure
 * result (null, 0, false, the null node, or nothing written), and ids and
 * indexes are checked against the query's counts before the library sees
 * them.
 * Languages are the grammars' own `TSLanguage` pointers, supplied by the
 * caller and never freed here. The first time a language reaches
 * `morv_parser_set_language` or `morv_query_new`, the shared library that
 * holds it is pinned: it stays loaded until the process ends, whatever the
 * caller does with its own handle of it, because trees, queries and cursors
 * read its tables for as long as they live. A language in no shared library
 * is used as it is.
 *
 * Text is UTF-16 little-endian. Every byte offset that crosses the interface
 * counts bytes of that text, two per code unit; a column is a byte count
 * within its row. Nodes are 32-byte values (`MorvNode`) passed by address;
 * the buffers they are read from or written to need no particular alignment.
 * Booleans are one byte: a foreign-function caller must declare them as a
 * byte, not as a 32-bit int.
 */

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  if defined(MORV_TS_BUILD)
#    define MORV_TS_API __declspec(dllexport)
#  else
#    define MORV_TS_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define MORV_TS_API __attribute__((visibility("default")))
#else
#  define MORV_TS_API
#endif

#ifndef TREE_SITTER_API_H_
typedef struct TSLanguage TSLanguage;
#endif

typedef struct MorvParser MorvParser;
typedef struct MorvTree MorvTree;
typedef struct MorvQuery MorvQuery;
typedef struct MorvCursor MorvCursor;

/*
 * The library's `TSNode`, byte for byte. Only `id` has a meaning for the
 * caller: a node whose `id` is null is the null node.
 */
typedef struct MorvNode {
  uint32_t context[4];
  const void *id;
  const void *tree;
} MorvNode;

/* The library's `TSPoint`: a row and a byte column within it. */
typedef struct MorvPoint {
  uint32_t row;
  uint32_t column;
} MorvPoint;

/* The library's `TSRange`: 24 bytes. */
typedef struct MorvRange {
  MorvPoint start_point;
  MorvPoint end_point;
  uint32_t start_byte;
  uint32_t end_byte;
} MorvRange;

/* The library's `TSQueryCapture`: 40 bytes, the last 4 of them padding. */
typedef struct MorvQueryCapture {
  MorvNode node;
  uint32_t index;
} MorvQueryCapture;

/* The library's `TSQueryMatch`: 16 bytes. */
typedef struct MorvQueryMatch {
  uint32_t id;
  uint16_t pattern_index;
  uint16_t capture_count;
  const MorvQueryCapture *captures;
} MorvQueryMatch;

typedef enum MorvPredicateStepType {
  MorvPredicateStepDone = 0,
  MorvPredicateStepCapture = 1,
  MorvPredicateStepString = 2,
} MorvPredicateStepType;

/* The library's `TSQueryPredicateStep`: `type` is a MorvPredicateStepType. */
typedef struct MorvPredicateStep {
  uint32_t type;
  uint32_t value_id;
} MorvPredicateStep;

/*
 * One capture handed over in bulk by `morv_cursor_next_captures`: 16 bytes.
 * `capture_id` indexes the query's capture names, `pattern_index` its
 * patterns; `match_id` is the id of the match within the run, as in
 * `MorvQueryMatch`.
 */
typedef struct MorvCaptureSpan {
  uint32_t start_byte;
  uint32_t end_byte;
  uint16_t capture_id;
  uint16_t pattern_index;
  uint32_t match_id;
} MorvCaptureSpan;

/* The library's `TSQueryError`, as stored by `morv_query_new`. */
typedef enum MorvQueryError {
  MorvQueryErrorNone = 0,
  MorvQueryErrorSyntax = 1,
  MorvQueryErrorNodeType = 2,
  MorvQueryErrorField = 3,
  MorvQueryErrorCapture = 4,
  MorvQueryErrorStructure = 5,
  MorvQueryErrorLanguage = 6,
} MorvQueryError;

/*
 * Returns the UTF-16 text that starts at `byte_index` (at `row`, `column`)
 * and stores through `bytes_read` how many bytes of it are available; a count
 * of 0 ends the document. The count holds 0 when the function is called, so
 * one that stores nothing ends the document too. The text must stay readable
 * until the next call or the end of the parse.
 */
typedef const void *(*MorvReadFunction)(void *context, uint32_t byte_index, uint32_t row,
                                        uint32_t column, uint32_t *bytes_read);

/* Called now and then during a parse; returning true stops the parse. */
typedef bool (*MorvProgressFunction)(void *context, uint32_t byte_offset);

/* Parsers, trees and the library's memory. */

/*
 * Returns a new parser without a language, owned by the caller until
 * `morv_parser_delete`; null only if the handle cannot be allocated.
 */
MORV_TS_API MorvParser *morv_parser_create(void);

/* Deletes the parser and its handle; a null handle is ignored. */
MORV_TS_API void morv_parser_delete(MorvParser *parser);

/*
 * Sets the language for the next parses; the language stays the caller's and
 * its library is pinned (see above). Returns false, leaving the parser without a language, when the language's
 * ABI version lies outside 13..15 or the parser is null; a null language is
 * accepted and leaves the parser without one.
 */
MORV_TS_API bool morv_parser_set_language(MorvParser *parser, const TSLanguage *language);

/*
 * Drops the state of a parse that a progress function stopped, so the next
 * parse starts afresh. A null parser is ignored.
 */
MORV_TS_API void morv_parser_reset(MorvParser *parser);

/*
 * Parses the text that `read` delivers, reusing `old_tree` (null for a fresh
 * parse; it is only read, and the caller keeps it) after its edits were
 * reported with `morv_tree_edit`. An old tree of another language than the
 * parser's has nothing to reuse and is ignored. A read function that returns null ends the
 * text like a count of 0; a null progress function never stops the parse.
 * Both run on this thread before the parse returns. Returns a new tree
 * handle, owned by the caller, or null when the parser has no language,
 * `parser` or `read` is null or `progress` stopped the parse.
 */
MORV_TS_API MorvTree *morv_parser_parse(MorvParser *parser, const MorvTree *old_tree,
                                        MorvReadFunction read, void *read_context,
                                        MorvProgressFunction progress, void *progress_context);

/*
 * Parses `byte_length` bytes of UTF-16LE text read in place from `text` (an
 * odd last byte is ignored), reusing `old_tree` as `morv_parser_parse` does;
 * nothing calls back into the caller, and the text must stay unchanged until
 * the call returns. The parse stops when the 32-bit cell at `cancel_flag`
 * (may be null; another thread may set it, with an atomic 32-bit store, while
 * the parse runs) holds a non-zero value, or after
 * `timeout_micros` microseconds (0: no limit). A stopped parse returns null
 * and resets the parser, so the next parse starts afresh, not from the
 * stopped one. It returns without freeing what it built: the parser's next
 * parse, `morv_parser_reset` or `morv_parser_delete` frees that. Returns a
 * new tree handle owned by the caller, or null when stopped, when the parser
 * has no language, or for a null `parser` or a null `text` with a non-zero
 * length.
 */
MORV_TS_API MorvTree *morv_parser_parse_utf16(MorvParser *parser, const MorvTree *old_tree,
                                              const void *text, uint32_t byte_length,
                                              const volatile uint32_t *cancel_flag,
                                              uint64_t timeout_micros);

/* Deletes the tree and its handle; its nodes become invalid. A null handle is ignored. */
MORV_TS_API void morv_tree_delete(MorvTree *tree);

/*
 * Writes the tree's root node to `node_out`; the node is valid until the
 * tree is deleted. A null tree writes the null node.
 */
MORV_TS_API void morv_tree_root(const MorvTree *tree, void *node_out);

/*
 * Reports one text change to the tree so that a following parse can reuse it.
 * Offsets are UTF-16 bytes; positions are (row, byte column) pairs. A null
 * tree is ignored.
 *
 * The edit is used as given when it is coherent: start_byte <= old_end_byte
 * <= the end byte of the tree's root (the length of the text the tree now
 * stands for), start_byte <= new_end_byte, a new text length that fits in 32
 * bits, and positions in the same order (start <= old end <= the root's end
 * position, start <= new end). Any other edit is taken as a change of the
 * whole text: from byte 0 at (0, 0) through the root's end, replaced by text
 * that ends at new_end_byte and its position. The next parse that reuses the
 * tree then reuses none of it and equals a fresh parse.
 *
 * An edit ends every capture run over the tree (`morv_cursor_next_capture`
 * returns false). Nodes taken from the tree before the edit, capture nodes
 * included, must not be used after it: take new ones from the tree.
 */
MORV_TS_API void morv_tree_edit(MorvTree *tree, uint32_t start_byte, uint32_t old_end_byte,
                                uint32_t new_end_byte, uint32_t start_row, uint32_t start_column,
                                uint32_t old_end_row, uint32_t old_end_column,
                                uint32_t new_end_row, uint32_t new_end_column);

/*
 * Returns a new handle to the same tree, owned by the caller until
 * `morv_tree_delete`; copying is cheap (the nodes are shared, not copied).
 * The copy and the original may be used on two threads at the same time,
 * also while the original is edited or passed as the old tree of a parse.
 * Null for a null tree.
 */
MORV_TS_API MorvTree *morv_tree_copy(const MorvTree *tree);

/*
 * Compares an edited old tree with the new tree parsed from it, and returns
 * the number of ranges whose syntactic structure differs, writing the first
 * `capacity` of them to `ranges` in document order (ask again with a larger
 * buffer for the rest). The ranges neither overlap nor touch. Every node that
 * one tree has and the other lacks (by type, extent, field or missing flag)
 * touches a range, or the edited range itself: a node whose text alone
 * changed counts as unchanged. A token that keeps its extent but changes its
 * kind, as error recovery may do far from the edit, counts as changed.
 * Trees of two different languages differ everywhere: one range spanning
 * both. Returns 0 for a null tree, or for null `ranges` with a non-zero
 * `capacity`; null `ranges` with a capacity of 0 only counts.
 */
MORV_TS_API uint32_t morv_tree_changed_ranges(const MorvTree *old_tree, const MorvTree *new_tree,
                                              MorvRange *ranges, uint32_t capacity);

/* Returns the ABI version the grammar was generated for, or 0 for a null language. */
MORV_TS_API uint32_t morv_language_abi_version(const TSLanguage *language);

/*
 * Returns the name of a symbol (only the low 16 bits of `symbol` count), or
 * null beyond the language's symbols and aliases or for a null language. The
 * text belongs to the language; do not free it.
 */
MORV_TS_API const char *morv_language_symbol_name(const TSLanguage *language, uint32_t symbol);

/*
 * Frees memory that this library handed out (`morv_node_string`) through the
 * tree-sitter library's current deallocation function; null is ignored.
 */
MORV_TS_API void morv_free(void *pointer);

/*
 * Nodes. `node` is the address of a 32-byte node of a live tree; `node_out`
 * receives 32 bytes. Navigation past the edge of the tree, and navigation from
 * the null node or a null address, writes the null node; the other functions
 * give 0, false or null for them. A null `node_out` is left unwritten.
 */

/* Writes the child at `index`, anonymous ones counted; the null node when out of range. */
MORV_TS_API void morv_node_child(const void *node, uint32_t index, void *node_out);

/* Returns the number of children, anonymous ones included. */
MORV_TS_API uint32_t morv_node_child_count(const void *node);

/* Writes the named child at `index`; the null node when out of range. */
MORV_TS_API void morv_node_named_child(const void *node, uint32_t index, void *node_out);

/* Returns the number of named children. */
MORV_TS_API uint32_t morv_node_named_child_count(const void *node);

/* Writes the parent; the null node for the root. */
MORV_TS_API void morv_node_parent(const void *node, void *node_out);

/* Writes the next sibling; the null node for the last child. */
MORV_TS_API void morv_node_next_sibling(const void *node, void *node_out);

/* Writes the previous sibling; the null node for the first child. */
MORV_TS_API void morv_node_prev_sibling(const void *node, void *node_out);

/* Writes the smallest node that spans the byte range [start_byte, end_byte]. */
MORV_TS_API void morv_node_descendant_for_byte_range(const void *node, uint32_t start_byte,
                                                     uint32_t end_byte, void *node_out);

/* Returns the offset of the node's first byte. */
MORV_TS_API uint32_t morv_node_start_byte(const void *node);

/* Returns the offset just past the node's last byte. */
MORV_TS_API uint32_t morv_node_end_byte(const void *node);

/*
 * Write the position (row, byte column) of the node's first byte and of the
 * byte just past its last one; (0, 0) for the null node or a null address,
 * nothing for a null `point`.
 */
MORV_TS_API void morv_node_start_point(const void *node, MorvPoint *point);
MORV_TS_API void morv_node_end_point(const void *node, MorvPoint *point);

/* Returns the node's 16-bit symbol id; 65535 for an error node. */
MORV_TS_API uint16_t morv_node_symbol(const void *node);

/* Returns whether the node is named (not an anonymous token). */
MORV_TS_API bool morv_node_is_named(const void *node);

/* Returns whether the parser inserted the node, empty, to recover from an error. */
MORV_TS_API bool morv_node_is_missing(const void *node);

/* Returns whether the node is an error node. */
MORV_TS_API bool morv_node_is_error(const void *node);

/* Returns whether the node's subtree contains an error or missing node. */
MORV_TS_API bool morv_node_has_error(const void *node);

/*
 * Returns the node's subtree as a NUL-terminated S-expression, newly
 * allocated; the caller releases it with `morv_free`.
 */
MORV_TS_API char *morv_node_string(const void *node);

/* Queries. */

/*
 * Compiles `length` bytes of UTF-8 query source for a language, whose library
 * is pinned (see above). Stores the
 * MorvQueryError code through `error_type` (0 when it compiled) and the byte
 * offset of the error in the source through `error_offset` (0 when it
 * compiled or for a language error); either pointer may be null. Returns a
 * new query handle, owned by the caller, or null when the source does not
 * compile (a null language is a language error, a null source of non-zero
 * length a syntax error at offset 0).
 */
MORV_TS_API MorvQuery *morv_query_new(const TSLanguage *language, const char *source,
                                      uint32_t length, uint32_t *error_offset,
                                      uint32_t *error_type);

/* Deletes the query and its handle; a null handle is ignored. */
MORV_TS_API void morv_query_delete(MorvQuery *query);

/* Returns the number of patterns in the query; 0 for a null query. */
MORV_TS_API uint32_t morv_query_pattern_count(const MorvQuery *query);

/* Returns the number of capture names in the query; 0 for a null query. */
MORV_TS_API uint32_t morv_query_capture_count(const MorvQuery *query);

/* Returns the number of string literals in the query's predicates; 0 for a null query. */
MORV_TS_API uint32_t morv_query_string_count(const MorvQuery *query);

/*
 * Return a capture name or a predicate string literal (only the low 16 bits
 * of `id` count) and store its length in bytes. The text is not
 * NUL-terminated, lives in the query until it is deleted, and must not be
 * freed. An id at or beyond the matching count, or a null query, gives null
 * and a length of 0; a null `length` gives null.
 */
MORV_TS_API const char *morv_query_capture_name(const MorvQuery *query, uint32_t id,
                                                uint32_t *length);
MORV_TS_API const char *morv_query_string_value(const MorvQuery *query, uint32_t id,
                                                uint32_t *length);

/*
 * Stores the number of predicate steps of a pattern, done steps included,
 * and returns the first of them, or null when there are none or the pattern
 * index is at or beyond the pattern count (with a count of 0). The steps live
 * in the query. A null `step_count` gives null.
 */
MORV_TS_API const MorvPredicateStep *morv_query_predicates(const MorvQuery *query,
                                                          uint32_t pattern_index,
                                                          uint32_t *step_count);

/* Query cursors. */

/*
 * Returns a new cursor, owned by the caller, without a range limit and without
 * a run (it reports no capture until `morv_cursor_exec`); null only if the
 * handle cannot be allocated.
 */
MORV_TS_API MorvCursor *morv_cursor_create(void);

/* Deletes the cursor and its handle; a null handle is ignored. */
MORV_TS_API void morv_cursor_delete(MorvCursor *cursor);

/*
 * Limits the captures of the following runs to the byte range; an end of 0
 * means no upper limit. Returns false, keeping the earlier range, when the
 * start lies after the end or the cursor is null.
 */
MORV_TS_API bool morv_cursor_set_byte_range(MorvCursor *cursor, uint32_t start_byte,
                                            uint32_t end_byte);

/*
 * Starts a run of the query over the node (copied from its address),
 * abandoning any earlier run. The query and the node's tree must outlive the
 * run. The run holds on to the tree's content as it is now, so an edit of the
 * tree (or the deletion of another tree sharing parts of it) frees nothing
 * that the run still uses; the edit ends the run. A null query or node ends
 * the earlier run and starts none; a null cursor is ignored.
 */
MORV_TS_API void morv_cursor_exec(MorvCursor *cursor, const MorvQuery *query, const void *node);

/*
 * Reports the run's next capture in document order: fills `match`, stores the
 * capture's position in `match->captures` through `capture_index` and returns
 * true; returns false when the run has no capture left or the run's tree was
 * edited since `morv_cursor_exec`, or without advancing when an out-pointer
 * is null. The capture array belongs to the cursor and is
 * valid until the next call on it.
 */
MORV_TS_API bool morv_cursor_next_capture(MorvCursor *cursor, MorvQueryMatch *match,
                                          uint32_t *capture_index);

/* Tree structure: tree cursors, fields, symbols and the bulk node export. */

typedef struct MorvTreeCursor MorvTreeCursor;
typedef struct MorvTreeExport MorvTreeExport;

/*
 * The library's `TSSymbolType`, as returned by `morv_language_symbol_type`:
 * a regular symbol is named and visible, an anonymous one visible only (a
 * token written literally in the grammar); supertypes and auxiliary symbols
 * never appear as nodes.
 */
typedef enum MorvSymbolType {
  MorvSymbolTypeRegular = 0,
  MorvSymbolTypeAnonymous = 1,
  MorvSymbolTypeSupertype = 2,
  MorvSymbolTypeAuxiliary = 3,
} MorvSymbolType;

/* The bits of `MorvNodeRecord.flags`. */
typedef enum MorvNodeFlag {
  MorvNodeFlagNamed = 1,      /* a named node, not an anonymous token */
  MorvNodeFlagMissing = 2,    /* inserted empty by the parser to recover from an error */
  MorvNodeFlagError = 4,      /* an error node (symbol 65535) */
  MorvNodeFlagHasError = 8,   /* an error or missing node lies in its subtree, itself included */
  MorvNodeFlagExtra = 16,     /* an extra, such as a comment, that may appear anywhere */
  MorvNodeFlagHasChanges = 32 /* edited since the tree was parsed */
} MorvNodeFlag;

/*
 * One node of a bulk export: 32 bytes, every field at its natural alignment,
 * in the platform's (little-endian) byte order, so that a caller can read a
 * buffer of them with absolute loads:
 *
 *   offset  width  field
 *        0      4  start_byte   first byte of the node
 *        4      4  end_byte     the byte just past the node
 *        8      4  start_row    row of start_byte
 *       12      4  end_row      row of end_byte
 *       16      4  depth        0 for the node the export started from, +1 per level
 *       20      4  child_count  children, anonymous ones included, exported or not
 *       24      2  symbol       as `morv_node_symbol`
 *       26      2  field_id     the field under which its parent holds it; 0 for none
 *                               and for the node the export started from
 *       28      2  flags        MorvNodeFlag bits
 *       30      2  reserved     0
 */
typedef struct MorvNodeRecord {
  uint32_t start_byte;
  uint32_t end_byte;
  uint32_t start_row;
  uint32_t end_row;
  uint32_t depth;
  uint32_t child_count;
  uint16_t symbol;
  uint16_t field_id;
  uint16_t flags;
  uint16_t reserved;
} MorvNodeRecord;

/*
 * Returns a new tree cursor at `node`, which becomes the cursor's root: the
 * cursor never moves above it. The caller owns the cursor until
 * `morv_tree_cursor_delete`; it is valid while the node's tree is, and an
 * edit of the tree leaves the positions of the nodes that it reaches
 * afterwards unreliable until a reset. A null address or the null node gives
 * null.
 */
MORV_TS_API MorvTreeCursor *morv_tree_cursor_create(const void *node);

/* Deletes the cursor and its handle; a null handle is ignored. */
MORV_TS_API void morv_tree_cursor_delete(MorvTreeCursor *cursor);

/*
 * Moves the cursor to `node` and makes it the cursor's new root (it may be of
 * another tree). Returns false, with the cursor unchanged, for a null cursor,
 * a null address or the null node.
 */
MORV_TS_API bool morv_tree_cursor_reset(MorvTreeCursor *cursor, const void *node);

/*
 * Returns a new cursor at the same node with the same root and path, owned by
 * the caller; the two move independently. A null cursor gives null.
 */
MORV_TS_API MorvTreeCursor *morv_tree_cursor_copy(const MorvTreeCursor *cursor);

/* Writes the node under the cursor; the null node for a null cursor. */
MORV_TS_API void morv_tree_cursor_current_node(const MorvTreeCursor *cursor, void *node_out);

/*
 * Returns the field id under which the parent holds the current node; 0 for
 * none, at the cursor's root and for a null cursor.
 */
MORV_TS_API uint16_t morv_tree_cursor_current_field_id(const MorvTreeCursor *cursor);

/* Returns how many levels the current node lies below the cursor's root; 0 for a null cursor. */
MORV_TS_API uint32_t morv_tree_cursor_current_depth(const MorvTreeCursor *cursor);

/*
 * Move the cursor to the current node's first or last child, its next or
 * previous sibling, or its parent. Each returns whether it moved; it stays in
 * place when there is no such node (siblings and the parent of the cursor's
 * root count as absent) and for a null cursor. The last child and the
 * previous sibling cost a scan of the children.
 */
MORV_TS_API bool morv_tree_cursor_goto_first_child(MorvTreeCursor *cursor);
MORV_TS_API bool morv_tree_cursor_goto_last_child(MorvTreeCursor *cursor);
MORV_TS_API bool morv_tree_cursor_goto_next_sibling(MorvTreeCursor *cursor);
MORV_TS_API bool morv_tree_cursor_goto_previous_sibling(MorvTreeCursor *cursor);
MORV_TS_API bool morv_tree_cursor_goto_parent(MorvTreeCursor *cursor);

/*
 * Moves the cursor to the first child of the current node that ends after
 * `byte` and returns that child's index, anonymous children counted; returns
 * -1 without moving when no child does, and for a null cursor.
 */
MORV_TS_API int64_t morv_tree_cursor_goto_first_child_for_byte(MorvTreeCursor *cursor,
                                                               uint32_t byte);

/* Returns the number of field names of the language (ids run from 1); 0 for a null language. */
MORV_TS_API uint32_t morv_language_field_count(const TSLanguage *language);

/*
 * Returns the NUL-terminated name of a field, or null for id 0, an id beyond
 * the language's fields or a null language. The text belongs to the language.
 */
MORV_TS_API const char *morv_language_field_name(const TSLanguage *language, uint32_t field_id);

/*
 * Returns the id of the field named by `length` bytes at `name` (no
 * terminator needed), or 0 when the language has no such field, for a null
 * language and for a null name.
 */
MORV_TS_API uint16_t morv_language_field_id(const TSLanguage *language, const char *name,
                                            uint32_t length);

/*
 * Returns the number of symbols, aliases included: symbol ids below it are
 * the language's, besides 65535, the error symbol. 0 for a null language.
 */
MORV_TS_API uint32_t morv_language_symbol_count(const TSLanguage *language);

/*
 * Returns the symbol that nodes named by `length` bytes at `name` carry (as
 * `morv_node_symbol` gives it), among the named symbols when `named` is true
 * and among the anonymous ones otherwise; "ERROR" named gives 65535. Returns
 * 0 when there is no such node type, for a null language and a null name.
 */
MORV_TS_API uint16_t morv_language_symbol_for_name(const TSLanguage *language, const char *name,
                                                   uint32_t length, bool named);

/*
 * Returns the MorvSymbolType of a symbol (only the low 16 bits count): named
 * and visible, visible only, supertype or auxiliary. Returns -1 for a symbol
 * at or beyond `morv_language_symbol_count` other than 65535, and for a null
 * language.
 */
MORV_TS_API int32_t morv_language_symbol_type(const TSLanguage *language, uint32_t symbol);

/* Writes the child that the node holds under the field; the null node when there is none. */
MORV_TS_API void morv_node_child_by_field_id(const void *node, uint32_t field_id,
                                             void *node_out);

/*
 * Returns the name of the field under which the node holds its child at
 * `index` (anonymous children counted), or null when that child has no field
 * or does not exist. The text belongs to the language.
 */
MORV_TS_API const char *morv_node_field_name_for_child(const void *node, uint32_t index);

/* Returns the number of nodes in the node's subtree, itself included. */
MORV_TS_API uint32_t morv_node_descendant_count(const void *node);

/* Writes the smallest named node that spans the byte range [start_byte, end_byte]. */
MORV_TS_API void morv_node_named_descendant_for_byte_range(const void *node, uint32_t start_byte,
                                                           uint32_t end_byte, void *node_out);

/*
 * Write the node's first child (or first named child) that ends after
 * `byte`; the null node when there is none.
 */
MORV_TS_API void morv_node_first_child_for_byte(const void *node, uint32_t byte,
                                                void *node_out);
MORV_TS_API void morv_node_first_named_child_for_byte(const void *node, uint32_t byte,
                                                      void *node_out);

/*
 * Returns whether the two addresses hold the same node of the same tree;
 * false when either is null or the null node.
 */
MORV_TS_API bool morv_node_eq(const void *node, const void *other);

/*
 * Returns the node's symbol as the grammar defines it, before aliases are
 * applied (`morv_node_symbol` gives the name the tree shows).
 */
MORV_TS_API uint16_t morv_node_grammar_symbol(const void *node);

/* Returns the parse state in which the node was built, or 0 for an error. */
MORV_TS_API uint16_t morv_node_parse_state(const void *node);

/* Returns whether the node is an extra, such as a comment. */
MORV_TS_API bool morv_node_is_extra(const void *node);

/*
 * Returns a new bulk export without a run, owned by the caller until
 * `morv_tree_export_delete`; null only if it cannot be allocated. One export
 * serves any number of runs, one after the other.
 */
MORV_TS_API MorvTreeExport *morv_tree_export_create(void);

/* Deletes the export and its handle; a null handle is ignored. */
MORV_TS_API void morv_tree_export_delete(MorvTreeExport *run);

/*
 * Starts a run over `node`'s subtree, abandoning any earlier run: the nodes
 * that a tree cursor visits (every node, anonymous ones included) in document
 * order, each before its children. Only nodes at most `max_depth` levels
 * below `node` are exported (0: the node alone; UINT32_MAX: no limit), and
 * only nodes that start before `end_byte` (0: no upper limit) and end at or
 * after `start_byte`: so an empty node at `start_byte`, such as a missing
 * closing bracket, is exported, and so is a node that ends just where the
 * range starts. The parent of every exported node is exported too. The
 * node's tree must outlive the run; an edit of the tree while the run goes
 * on leaves the offsets of the records that follow unreliable.
 * Returns false, leaving no run, for a null export, a null address or the
 * null node, and for a start after a non-zero end.
 */
MORV_TS_API bool morv_tree_export_start(MorvTreeExport *run, const void *node, uint32_t start_byte,
                                        uint32_t end_byte, uint32_t max_depth);

/*
 * Writes the run's next nodes, at most `capacity` of them, to `records` and
 * returns how many it wrote; the next call goes on where this one stopped,
 * and 0 means that the run is over (or that `records` is null, `capacity` 0,
 * the export null or without a run).
 */
MORV_TS_API uint32_t morv_tree_export_next(MorvTreeExport *run, MorvNodeRecord *records,
                                           uint32_t capacity);

/* Embedded languages: the parts of a document that a parser reads. */

/*
 * Makes the following parses read only the given ranges of the document,
 * which must be in document order and must not overlap (one may start where
 * the previous one ends), by bytes and by points, each ending at or after its
 * start. Nodes keep document offsets. With `count` 0 (`ranges` may then be
 * null) the parser reads the whole document again. Returns false, leaving
 * the parser's ranges as they were, for ranges out of order or overlapping,
 * null `ranges` with a non-zero count, and a null parser.
 */
MORV_TS_API bool morv_parser_set_included_ranges(MorvParser *parser, const MorvRange *ranges,
                                                 uint32_t count);

/*
 * Returns the number of ranges that the tree was parsed from (one range over
 * the whole document unless ranges were set) and copies the first
 * `capacity` of them to `ranges`; a null `ranges` takes none. A null tree
 * gives 0.
 */
MORV_TS_API uint32_t morv_tree_included_ranges(const MorvTree *tree, MorvRange *ranges,
                                               uint32_t capacity);

/*
 * Limits the matches that a run keeps in progress at one time (the library's
 * match limit, for runs started after this call): when a new match finds no
 * room, the one that started earliest is dropped. The library keeps the
 * match slots that earlier runs of the cursor made and uses them whatever
 * the limit, so set a limit on a new cursor, before its first run. A limit of
 * 0 restores the default, 65535, which is also the most a cursor takes: the
 * library numbers the lists of matches in progress with 16 bits, and past
 * that number they would alias one another. A null cursor is ignored.
 */
MORV_TS_API void morv_cursor_set_match_limit(MorvCursor *cursor, uint32_t limit);

/*
 * Returns whether the cursor's last run dropped matches because of the match
 * limit; false for a null cursor.
 */
MORV_TS_API bool morv_cursor_did_exceed_match_limit(const MorvCursor *cursor);

/*
 * Starts a run like `morv_cursor_exec`, over a document whose UTF-16 text of
 * `byte_length` bytes the cursor reads in place (not copied) to evaluate the
 * query's text predicates in `morv_cursor_next_captures`; the text must stay
 * unchanged, and the query, the tree and the text alive, until the run ends.
 *
 * Evaluated, with the library's rules for quantified captures (an `any-` form
 * passes when one node of the capture passes, the others when all do):
 * `#eq?`, `#not-eq?`, `#any-eq?`, `#any-not-eq?` (a capture against a string,
 * or against another capture node for node in order, where the plain forms
 * also need as many nodes on both sides), `#match?`,
 * `#not-match?`, `#any-match?`, `#any-not-match?` (a regular expression found
 * anywhere in the node's text), `#any-of?`, `#not-any-of?`. A capture without
 * a node in the match passes the other forms and fails the `any-` forms.
 * Other predicates (`#set!`, `#is?`, `#is-not?`, unknown ones) never filter.
 * Regular expressions are PCRE2's, in UTF mode, matched against the UTF-16
 * text without recursion on the stack and with a match limit; one that does
 * not compile (or hits that limit) leaves the query usable but its predicate
 * never passes, and so does a known predicate with arguments of the wrong kind
 * or number, or a node that lies beyond `byte_length`.
 *
 * A null query, node or text ends the earlier run and starts none; a null
 * cursor is ignored.
 */
MORV_TS_API void morv_cursor_exec_text(MorvCursor *cursor, const MorvQuery *query,
                                       const void *node, const void *text,
                                       uint32_t byte_length);

/*
 * Writes up to `capacity` of the run's next captures to `spans`, in the order
 * and with the nodes that `morv_cursor_next_capture` reports, except that a
 * run started with `morv_cursor_exec_text` leaves out every capture of a match
 * whose predicates fail. Returns the number written; 0 when the run is over,
 * or for a null cursor, null `spans` or a capacity of 0. Do not mix it with
 * `morv_cursor_next_capture` within one run.
 */
MORV_TS_API uint32_t morv_cursor_next_captures(MorvCursor *cursor, MorvCaptureSpan *spans,
                                               uint32_t capacity);

/*
 * Writes up to `capacity` captures of the run's next matches to `spans`: the
 * matches in the order the library finishes them, the captures of each in
 * the order of its capture list (a match may continue in the next call).
 * Leaves out the matches whose predicates fail, as `morv_cursor_next_captures`
 * does. Returns the number written; 0 when the run is over, or for a null
 * cursor, null `spans` or a capacity of 0. Do not mix it with the other two
 * ways of reading a run.
 *
 * Unlike captures, matches come out as soon as they are complete, out of
 * order by position. A run of captures must hold back every finished match
 * while one still in progress holds an earlier capture: a declarator whose
 * name is captured and whose value, after an error, lies megabytes later
 * keeps all the matches in between waiting, which makes the run slow (minutes
 * on a 5 MB file) and, past the match limit, drops matches. A caller that wants captures in document order sorts these
 * by start byte and pattern index, keeping their order where those are equal,
 * and has the captures of a run of captures in their order, except for
 * patterns that quantify a capture (`+`, `*`): the library reports some of
 * their matches differently by match than by capture.
 */
MORV_TS_API uint32_t morv_cursor_next_match_captures(MorvCursor *cursor, MorvCaptureSpan *spans,
                                                     uint32_t capacity);

#ifdef __cplusplus
}
#endif

#endif /* MORV_TS_H_ */
