#include <stdlib.h>

#include "handles.h"
#include "pin.h"
#include "predicates.h"

MorvQuery *morv_query_new(const TSLanguage *language, const char *source, uint32_t length,
                          uint32_t *error_offset, uint32_t *error_type) {
  uint32_t offset_cell = 0;
  uint32_t *offset = error_offset != NULL ? error_offset : &offset_cell;
  /* The library leaves the offset alone for a language error. */
  *offset = 0;
  TSQueryError error = TSQueryErrorNone;
  TSQuery *query = NULL;
  if (source == NULL && length != 0) {
    error = TSQueryErrorSyntax;
  } else {
    morv_language_pin(language);
    /* The library's verdict on a null language is a language error. */
    query = ts_query_new(language, source != NULL ? source : "", length, offset, &error);
  }
  if (error_type != NULL) {
    *error_type = (uint32_t)error;
  }
  if (query == NULL) {
    return NULL;
  }
  MorvQuery *handle = calloc(1, sizeof *handle);
  if (handle == NULL) {
    ts_query_delete(query);
    return NULL;
  }
  handle->query = query;
  return handle;
}

void morv_query_delete(MorvQuery *query) {
  if (query == NULL) {
    return;
  }
  if (query->query != NULL) {
    ts_query_delete(query->query);
  }
  morv_predicates_free(atomic_load(&query->predicates));
  free(query);
}

uint32_t morv_query_pattern_count(const MorvQuery *query) {
  return query != NULL ? ts_query_pattern_count(query->query) : 0;
}

uint32_t morv_query_capture_count(const MorvQuery *query) {
  return query != NULL ? ts_query_capture_count(query->query) : 0;
}

uint32_t morv_query_string_count(const MorvQuery *query) {
  return query != NULL ? ts_query_string_count(query->query) : 0;
}

/*
 * The library indexes its tables with these ids unchecked. Without its
 * length (the text has no terminator) or its step count a result cannot be
 * read safely, so a null out-pointer gives null as well.
 */

const char *morv_query_capture_name(const MorvQuery *query, uint32_t id, uint32_t *length) {
  if (length == NULL) {
    return NULL;
  }
  *length = 0;
  const uint16_t index = (uint16_t)id;
  if (query == NULL || index >= ts_query_capture_count(query->query)) {
    return NULL;
  }
  return ts_query_capture_name_for_id(query->query, index, length);
}

const char *morv_query_string_value(const MorvQuery *query, uint32_t id, uint32_t *length) {
  if (length == NULL) {
    return NULL;
  }
  *length = 0;
  const uint16_t index = (uint16_t)id;
  if (query == NULL || index >= ts_query_string_count(query->query)) {
    return NULL;
  }
  return ts_query_string_value_for_id(query->query, index, length);
}

const MorvPredicateStep *morv_query_predicates(const MorvQuery *query, uint32_t pattern_index,
                                              uint32_t *step_count) {
  if (step_count == NULL) {
    return NULL;
  }
  *step_count = 0;
  if (query == NULL || pattern_index >= ts_query_pattern_count(query->query)) {
    return NULL;
  }
  /* The library returns null itself for a pattern without predicates. */
  return (const MorvPredicateStep *)ts_query_predicates_for_pattern(query->query, pattern_index,
                                                                    step_count);
}
