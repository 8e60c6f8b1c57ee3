#include "handles.h"

uint32_t morv_language_field_count(const TSLanguage *language) {
  return language != NULL ? ts_language_field_count(language) : 0;
}

const char *morv_language_field_name(const TSLanguage *language, uint32_t field_id) {
  if (language == NULL || field_id == 0 || field_id > ts_language_field_count(language)) {
    return NULL;
  }
  return ts_language_field_name_for_id(language, (TSFieldId)field_id);
}

uint16_t morv_language_field_id(const TSLanguage *language, const char *name, uint32_t length) {
  if (language == NULL || name == NULL) {
    return 0;
  }
  /*
   * Not the library's lookup: it compares with strncmp and then reads the
   * field name at `length`, past its terminator when the caller's name holds
   * a NUL; and it stops early on a comparison result of exactly -1.
   */
  const uint32_t count = ts_language_field_count(language);
  for (uint32_t id = 1; id <= count; ++id) {
    const char *field = ts_language_field_name_for_id(language, (TSFieldId)id);
    if (field != NULL && strlen(field) == length && memcmp(field, name, length) == 0) {
      return (uint16_t)id;
    }
  }
  return 0;
}

void morv_node_child_by_field_id(const void *node, uint32_t field_id, void *node_out) {
  TSNode self;
  /* Ids wider than 16 bits would be cut to some other field. */
  if (!morv_node_load(node, &self) || field_id > UINT16_MAX) {
    morv_node_store_null(node_out);
    return;
  }
  morv_node_store(ts_node_child_by_field_id(self, (TSFieldId)field_id), node_out);
}

const char *morv_node_field_name_for_child(const void *node, uint32_t index) {
  TSNode self;
  if (!morv_node_load(node, &self)) {
    return NULL;
  }
  return ts_node_field_name_for_child(self, index);
}
