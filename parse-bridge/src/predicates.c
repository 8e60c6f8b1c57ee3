#include "predicates.h"

#include <stdlib.h>
#include <string.h>

/*
 * Limits for one regular-expression match. PCRE2 keeps its backtracking
 * frames on the heap, never on the machine stack, so a node text of many
 * megabytes costs heap within these bounds; past them the match fails.
 */
#define MORV_REGEX_MATCH_LIMIT 10000000u
#define MORV_REGEX_HEAP_LIMIT_KIB (64u * 1024u)

typedef enum PredicateOp {
  PREDICATE_EQ,
  PREDICATE_MATCH,
  PREDICATE_ANY_OF,
  /* A known predicate whose arguments cannot be evaluated: it never passes. */
  PREDICATE_NEVER,
} PredicateOp;

typedef struct Utf16String {
  uint16_t *units;
  uint32_t length;
} Utf16String;

typedef struct Predicate {
  PredicateOp op;
  /* False for the `not-` forms. */
  bool positive;
  /* True when every node must pass, false for the `any-` forms. */
  bool all_nodes;
  bool against_capture;
  uint32_t capture;
  uint32_t other_capture;
  /* A range of the table's strings: the value of `#eq?`, the set of `#any-of?`. */
  uint32_t first_string;
  uint32_t string_count;
  pcre2_code_16 *regex;
} Predicate;

struct MorvPredicateTable {
  uint32_t pattern_count;
  /* Pattern i owns predicates[pattern_start[i] .. pattern_start[i + 1]). */
  uint32_t *pattern_start;
  Predicate *predicates;
  uint32_t predicate_count;
  Utf16String *strings;
  uint32_t string_count;
};

/* UTF-8 from the query source to UTF-16; malformed bytes become U+FFFD. */
static bool utf8_to_utf16(const char *source, uint32_t length, Utf16String *out) {
  out->units = malloc(((size_t)length + 1) * sizeof(uint16_t));
  out->length = 0;
  if (out->units == NULL) {
    return false;
  }
  const unsigned char *s = (const unsigned char *)source;
  uint32_t i = 0;
  while (i < length) {
    const unsigned char c = s[i];
    uint32_t size = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    uint32_t code = size == 1 ? c : size == 0 ? 0 : (uint32_t)(c & (0x7f >> size));
    bool valid = size != 0 && i + size <= length;
    for (uint32_t k = 1; valid && k < size; ++k) {
      valid = (s[i + k] & 0xc0) == 0x80;
      code = (code << 6) | (s[i + k] & 0x3f);
    }
    if (!valid || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
      out->units[out->length++] = 0xfffd;
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out->units[out->length++] = (uint16_t)(0xd800 + (code >> 10));
      out->units[out->length++] = (uint16_t)(0xdc00 + (code & 0x3ff));
    } else {
      out->units[out->length++] = (uint16_t)code;
    }
    i += size;
  }
  return true;
}

typedef struct OperatorName {
  const char *name;
  PredicateOp op;
  bool positive;
  bool all_nodes;
} OperatorName;

static const OperatorName kOperators[] = {
    {"eq?", PREDICATE_EQ, true, true},
    {"not-eq?", PREDICATE_EQ, false, true},
    {"any-eq?", PREDICATE_EQ, true, false},
    {"any-not-eq?", PREDICATE_EQ, false, false},
    {"match?", PREDICATE_MATCH, true, true},
    {"not-match?", PREDICATE_MATCH, false, true},
    {"any-match?", PREDICATE_MATCH, true, false},
    {"any-not-match?", PREDICATE_MATCH, false, false},
    {"any-of?", PREDICATE_ANY_OF, true, true},
    {"not-any-of?", PREDICATE_ANY_OF, false, true},
};

static const OperatorName *find_operator(const char *name, uint32_t length) {
  for (size_t i = 0; i < sizeof kOperators / sizeof kOperators[0]; ++i) {
    if (strlen(kOperators[i].name) == length && memcmp(kOperators[i].name, name, length) == 0) {
      return &kOperators[i];
    }
  }
  return NULL;
}

/*
 * Fills `predicate` from the steps of one predicate (the operator's string
 * step excluded, the done step too). Returns false only when memory runs out.
 */
static bool compile_predicate(MorvPredicateTable *table, const TSQuery *query,
                              const OperatorName *op, const TSQueryPredicateStep *args,
                              uint32_t arg_count, Predicate *predicate) {
  memset(predicate, 0, sizeof *predicate);
  predicate->op = PREDICATE_NEVER;
  predicate->positive = op->positive;
  predicate->all_nodes = op->all_nodes;
  if (arg_count < 1 || args[0].type != TSQueryPredicateStepTypeCapture) {
    return true;
  }
  predicate->capture = args[0].value_id;
  switch (op->op) {
    case PREDICATE_EQ:
      if (arg_count != 2) {
        return true;
      }
      if (args[1].type == TSQueryPredicateStepTypeCapture) {
        predicate->against_capture = true;
        predicate->other_capture = args[1].value_id;
        predicate->op = PREDICATE_EQ;
        return true;
      }
      break;
    case PREDICATE_MATCH:
      if (arg_count != 2 || args[1].type != TSQueryPredicateStepTypeString) {
        return true;
      }
      break;
    default:
      break;
  }
  /* The string arguments, converted once. */
  predicate->first_string = table->string_count;
  for (uint32_t i = 1; i < arg_count; ++i) {
    if (args[i].type != TSQueryPredicateStepTypeString) {
      return true;
    }
  }
  for (uint32_t i = 1; i < arg_count; ++i) {
    uint32_t length = 0;
    const char *value = ts_query_string_value_for_id(query, args[i].value_id, &length);
    if (!utf8_to_utf16(value, length, &table->strings[table->string_count])) {
      return false;
    }
    table->string_count++;
    predicate->string_count++;
  }
  if (op->op == PREDICATE_MATCH) {
    const Utf16String *pattern = &table->strings[predicate->first_string];
    int error = 0;
    PCRE2_SIZE offset = 0;
    /*
     * Node text may hold unpaired surrogates; with MATCH_INVALID_UTF they
     * simply match nothing instead of failing the whole match.
     */
    predicate->regex = pcre2_compile_16(pattern->units, pattern->length,
                                        PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &error, &offset, NULL);
    if (predicate->regex == NULL) {
      return true;
    }
  }
  predicate->op = op->op;
  return true;
}

MorvPredicateTable *morv_predicates_build(const TSQuery *query) {
  MorvPredicateTable *table = calloc(1, sizeof *table);
  if (table == NULL) {
    return NULL;
  }
  const uint32_t pattern_count = ts_query_pattern_count(query);
  table->pattern_count = pattern_count;
  table->pattern_start = calloc((size_t)pattern_count + 1, sizeof(uint32_t));
  /* Step counts bound both the predicates and their string arguments. */
  size_t step_total = 0;
  for (uint32_t p = 0; p < pattern_count; ++p) {
    uint32_t count = 0;
    ts_query_predicates_for_pattern(query, p, &count);
    step_total += count;
  }
  table->predicates = calloc(step_total + 1, sizeof(Predicate));
  table->strings = calloc(step_total + 1, sizeof(Utf16String));
  if (table->pattern_start == NULL || table->predicates == NULL || table->strings == NULL) {
    morv_predicates_free(table);
    return NULL;
  }
  for (uint32_t p = 0; p < pattern_count; ++p) {
    table->pattern_start[p] = table->predicate_count;
    uint32_t count = 0;
    const TSQueryPredicateStep *steps = ts_query_predicates_for_pattern(query, p, &count);
    uint32_t start = 0;
    while (start < count) {
      uint32_t end = start;
      while (end < count && steps[end].type != TSQueryPredicateStepTypeDone) {
        ++end;
      }
      if (end > start && steps[start].type == TSQueryPredicateStepTypeString) {
        uint32_t length = 0;
        const char *name = ts_query_string_value_for_id(query, steps[start].value_id, &length);
        const OperatorName *op = find_operator(name, length);
        /* Other predicates (`#set!`, `#is?`, unknown ones) are for the caller, not filters. */
        if (op != NULL) {
          Predicate *predicate = &table->predicates[table->predicate_count];
          if (!compile_predicate(table, query, op, steps + start + 1, end - start - 1, predicate)) {
            morv_predicates_free(table);
            return NULL;
          }
          table->predicate_count++;
        }
      }
      start = end + 1;
    }
  }
  table->pattern_start[pattern_count] = table->predicate_count;
  return table;
}

void morv_predicates_free(MorvPredicateTable *table) {
  if (table == NULL) {
    return;
  }
  if (table->predicates != NULL) {
    for (uint32_t i = 0; i < table->predicate_count; ++i) {
      pcre2_code_free_16(table->predicates[i].regex);
    }
  }
  if (table->strings != NULL) {
    for (uint32_t i = 0; i < table->string_count; ++i) {
      free(table->strings[i].units);
    }
  }
  free(table->strings);
  free(table->predicates);
  free(table->pattern_start);
  free(table);
}

bool morv_predicates_filter(const MorvPredicateTable *table, uint32_t pattern_index) {
  return pattern_index < table->pattern_count &&
         table->pattern_start[pattern_index] != table->pattern_start[pattern_index + 1];
}

pcre2_match_context_16 *morv_predicates_match_context(void) {
  pcre2_match_context_16 *context = pcre2_match_context_create_16(NULL);
  if (context != NULL) {
    pcre2_set_match_limit_16(context, MORV_REGEX_MATCH_LIMIT);
    pcre2_set_heap_limit_16(context, MORV_REGEX_HEAP_LIMIT_KIB);
  }
  return context;
}

/*
 * The node's text inside the document, or false when the node does not lie
 * within it (the tree was parsed from another text): then no predicate on it
 * can be decided, and it fails.
 */
static bool node_text(const MorvPredicateContext *context, TSNode node, const unsigned char **text,
                      uint32_t *byte_length) {
  const uint32_t start = ts_node_start_byte(node);
  const uint32_t end = ts_node_end_byte(node);
  if (start > end || end > context->byte_length || (start & 1) != 0 || (end & 1) != 0) {
    return false;
  }
  *text = context->text + start;
  *byte_length = end - start;
  return true;
}

typedef enum Verdict { VERDICT_FAIL, VERDICT_PASS, VERDICT_UNDECIDED } Verdict;

static Verdict equal_units(const unsigned char *text, uint32_t byte_length,
                           const Utf16String *value) {
  return byte_length == value->length * 2u && memcmp(text, value->units, byte_length) == 0
             ? VERDICT_PASS
             : VERDICT_FAIL;
}

/* Whether one node passes the predicate, before its `not-` form is applied. */
static Verdict test_node(const MorvPredicateTable *table, const Predicate *predicate,
                         const MorvPredicateContext *context, TSNode node) {
  const unsigned char *text;
  uint32_t length;
  if (!node_text(context, node, &text, &length)) {
    return VERDICT_UNDECIDED;
  }
  switch (predicate->op) {
    case PREDICATE_EQ:
      return equal_units(text, length, &table->strings[predicate->first_string]);
    case PREDICATE_ANY_OF:
      for (uint32_t i = 0; i < predicate->string_count; ++i) {
        if (equal_units(text, length, &table->strings[predicate->first_string + i]) ==
            VERDICT_PASS) {
          return VERDICT_PASS;
        }
      }
      return VERDICT_FAIL;
    case PREDICATE_MATCH: {
      const int rc = pcre2_match_16(predicate->regex, (PCRE2_SPTR16)text, length / 2u, 0, 0,
                                    context->match_data, context->match_context);
      if (rc >= 0) {
        return VERDICT_PASS;
      }
      return rc == PCRE2_ERROR_NOMATCH ? VERDICT_FAIL : VERDICT_UNDECIDED;
    }
    default:
      return VERDICT_UNDECIDED;
  }
}

static Verdict test_pair(const MorvPredicateContext *context, TSNode a, TSNode b) {
  const unsigned char *text_a, *text_b;
  uint32_t length_a, length_b;
  if (!node_text(context, a, &text_a, &length_a) || !node_text(context, b, &text_b, &length_b)) {
    return VERDICT_UNDECIDED;
  }
  return length_a == length_b && memcmp(text_a, text_b, length_a) == 0 ? VERDICT_PASS
                                                                        : VERDICT_FAIL;
}

/* The position of the next capture of `capture` at or after `from`, or `count`. */
static uint32_t next_of(const TSQueryMatch *match, uint32_t capture, uint32_t from) {
  while (from < match->capture_count && match->captures[from].index != capture) {
    ++from;
  }
  return from;
}

static bool predicate_passes(const MorvPredicateTable *table, const Predicate *predicate,
                             const TSQueryMatch *match, const MorvPredicateContext *context) {
  if (predicate->op == PREDICATE_NEVER) {
    return false;
  }
  const uint32_t count = match->capture_count;
  uint32_t a = next_of(match, predicate->capture, 0);
  uint32_t b = predicate->against_capture ? next_of(match, predicate->other_capture, 0) : 0;
  /*
   * Every node of the capture in turn; against another capture, the nodes of
   * both pairwise in order. The `any-` forms pass at the first node that
   * passes; the others fail at the first that does not, and need as many
   * nodes on both sides.
   */
  while (a < count && (!predicate->against_capture || b < count)) {
    const TSNode node = match->captures[a].node;
    const Verdict verdict = predicate->against_capture
                                ? test_pair(context, node, match->captures[b].node)
                                : test_node(table, predicate, context, node);
    if (verdict == VERDICT_UNDECIDED) {
      return false;
    }
    const bool passed = (verdict == VERDICT_PASS) == predicate->positive;
    if (passed && !predicate->all_nodes) {
      return true;
    }
    if (!passed && predicate->all_nodes) {
      return false;
    }
    a = next_of(match, predicate->capture, a + 1);
    if (predicate->against_capture) {
      b = next_of(match, predicate->other_capture, b + 1);
    }
  }
  if (!predicate->all_nodes) {
    return false;
  }
  return !predicate->against_capture || (a >= count && b >= count);
}

bool morv_predicates_pass(const MorvPredicateTable *table, const TSQueryMatch *match,
                          const MorvPredicateContext *context) {
  if (match->pattern_index >= table->pattern_count) {
    return true;
  }
  const uint32_t end = table->pattern_start[match->pattern_index + 1];
  for (uint32_t i = table->pattern_start[match->pattern_index]; i < end; ++i) {
    if (!predicate_passes(table, &table->predicates[i], match, context)) {
      return false;
    }
  }
  return true;
}
