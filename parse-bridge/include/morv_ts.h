#ifndef MORV_TS_H_
#define MORV_TS_H_

/*
 * morv-ts: a flat C interface over the tree-sitter parsing library, made to
 * be called through a foreign-function layer (the editor's JVM code).
 *
 * Parsers, trees, queries and query cursors cross this interface as handles:
 * a heap cell of one pointer around the library object. A handle is valid
 * from the create function (or the parse) that returned it until its delete
 * function; using it after that cannot be detected and stays the caller's
 * fault.
 *
 * The caller passes whatever it holds, and a crash here would take the whole
 * editor down, so no export trusts its pointers: a null handle, a null node
 * address, the null node or a null out-pointer gives the export's failure
 * result (null, 0, false, the null node, or nothing written), and ids and
 * indexes are checked against the query's counts before the library sees
 * them.
 * Languages are the grammars' own `TSLanguage` pointers, supplied by the
 * caller and never freed here.
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
 * of 0 ends the document. The text must stay readable until the next call or
 * the end of the parse.
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
 * Sets the language for the next parses; the language stays the caller's.
 * Returns false, leaving the parser without a language, when the language's
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
 * reported with `morv_tree_edit`. A read function that returns null ends the
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
 * stopped one. Returns a new tree handle owned by the caller, or null when
 * stopped, when the parser has no language, or for a null `parser` or a null
 * `text` with a non-zero length.
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
 * buffer for the rest). Trees of two different languages differ everywhere:
 * one range spanning both. Returns 0 for a null tree, or for null `ranges`
 * with a non-zero `capacity`; null `ranges` with a capacity of 0 only counts.
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
 * Compiles `length` bytes of UTF-8 query source for a language. Stores the
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
 * run. A null query or node ends the earlier run and starts none; a null
 * cursor is ignored.
 */
MORV_TS_API void morv_cursor_exec(MorvCursor *cursor, const MorvQuery *query, const void *node);

/*
 * Reports the run's next capture in document order: fills `match`, stores the
 * capture's position in `match->captures` through `capture_index` and returns
 * true; returns false when the run has no capture left, or without advancing
 * when an out-pointer is null. The capture array belongs to the cursor and is
 * valid until the next call on it.
 */
MORV_TS_API bool morv_cursor_next_capture(MorvCursor *cursor, MorvQueryMatch *match,
                                          uint32_t *capture_index);

/*
 * Limits the matches that a run keeps in progress at one time (the library's
 * match limit, for runs started after this call): when a new match finds no
 * room, the one that started earliest is dropped. The library keeps the
 * match slots that earlier runs of the cursor made and uses them whatever
 * the limit, so set a limit on a new cursor, before its first run. A limit of
 * 0 restores the default, no limit. A null cursor is ignored.
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

#ifdef __cplusplus
}
#endif

#endif /* MORV_TS_H_ */
