#include "handles.h"

uint32_t morv_node_descendant_count(const void *node) {
  TSNode self;
  return morv_node_load(node, &self) ? ts_node_descendant_count(self) : 0;
}

static void store_or_null(bool loaded, TSNode result, void *node_out) {
  if (loaded) {
    morv_node_store(result, node_out);
  } else {
    morv_node_store_null(node_out);
  }
}

void morv_node_named_descendant_for_byte_range(const void *node, uint32_t start_byte,
                                               uint32_t end_byte, void *node_out) {
  TSNode self;
  const bool loaded = morv_node_load(node, &self);
  store_or_null(loaded,
                loaded ? ts_node_named_descendant_for_byte_range(self, start_byte, end_byte) : self,
                node_out);
}

void morv_node_first_child_for_byte(const void *node, uint32_t byte, void *node_out) {
  TSNode self;
  const bool loaded = morv_node_load(node, &self);
  store_or_null(loaded, loaded ? ts_node_first_child_for_byte(self, byte) : self, node_out);
}

void morv_node_first_named_child_for_byte(const void *node, uint32_t byte, void *node_out) {
  TSNode self;
  const bool loaded = morv_node_load(node, &self);
  store_or_null(loaded, loaded ? ts_node_first_named_child_for_byte(self, byte) : self, node_out);
}

bool morv_node_eq(const void *node, const void *other) {
  TSNode a, b;
  return morv_node_load(node, &a) && morv_node_load(other, &b) && ts_node_eq(a, b);
}

uint16_t morv_node_grammar_symbol(const void *node) {
  TSNode self;
  return morv_node_load(node, &self) ? ts_node_grammar_symbol(self) : 0;
}

uint16_t morv_node_parse_state(const void *node) {
  TSNode self;
  return morv_node_load(node, &self) ? ts_node_parse_state(self) : 0;
}

bool morv_node_is_extra(const void *node) {
  TSNode self;
  return morv_node_load(node, &self) && ts_node_is_extra(self);
}
