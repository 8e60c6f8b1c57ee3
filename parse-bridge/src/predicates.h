#ifndef MORV_TS_PREDICATES_H_
#define MORV_TS_PREDICATES_H_

/*
 * The text predicates of a query, parsed once from its predicate steps into a
 * table per pattern, with their strings converted to UTF-16 and their regular
 * expressions compiled (PCRE2, 16-bit code units, so node text is matched in
 * place). The table is immutable once built, so cursors on several threads
 * may share it; what a match needs to write (PCRE2's match data) lives in the
 * evaluation context of one cursor.
 */

#include <stdbool.h>
#include <stdint.h>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <tree_sitter/api.h>

typedef struct MorvPredicateTable MorvPredicateTable;

/* What evaluating predicates needs besides the table: the document and PCRE2's scratch state. */
typedef struct MorvPredicateContext {
  const unsigned char *text;
  uint32_t byte_length;
  pcre2_match_data_16 *match_data;
  pcre2_match_context_16 *match_context;
} MorvPredicateContext;

/* Builds the table of a query; null only when memory runs out. */
MorvPredicateTable *morv_predicates_build(const TSQuery *query);

/* Frees a table and its compiled expressions; null is ignored. */
void morv_predicates_free(MorvPredicateTable *table);

/* Whether any predicate of the pattern can filter its matches. */
bool morv_predicates_filter(const MorvPredicateTable *table, uint32_t pattern_index);

/* Whether the match passes every text predicate of its pattern. */
bool morv_predicates_pass(const MorvPredicateTable *table, const TSQueryMatch *match,
                          const MorvPredicateContext *context);

/* The match context every run uses: limits that keep a pathological expression bounded. */
pcre2_match_context_16 *morv_predicates_match_context(void);

#endif /* MORV_TS_PREDICATES_H_ */
