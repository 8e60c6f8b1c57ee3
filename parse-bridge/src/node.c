#include "handles.h"

/* Navigation from a refused node writes the null node, as past the tree's edge. */
#define MORV_NAVIGATE(node, node_out, call)  \
  do {                                       \
    TSNode self;                             \
    if (!morv_node_load((node), &self)) {    \
      morv_node_store_null(node_out);        \
      return;                                \
    }                                        \
    morv_node_store((call), (node_out));     \
  } while (0)

#define MORV_QUERY(node, fallback, call)  \
  do {                                    \
    TSNode self;                          \
    if (!morv_node_load((node), &self)) { \
      return (fallback);                  \
    }                                     \
    return (call);                        \
  } while (0)

void morv_node_child(const void *node, uint32_t index, void *node_out) {
  MORV_NAVIGATE(node, node_out, ts_node_child(self, index));
}

uint32_t morv_node_child_count(const void *node) {
  MORV_QUERY(node, 0, ts_node_child_count(self));
}

void morv_node_named_child(const void *node, uint32_t index, void *node_out) {
  MORV_NAVIGATE(node, node_out, ts_node_named_child(self, index));
}

uint32_t morv_node_named_child_count(const void *node) {
  MORV_QUERY(node, 0, ts_node_named_child_count(self));
}

void morv_node_parent(const void *node, void *node_out) {
  MORV_NAVIGATE(node, node_out, ts_node_parent(self));
}

void morv_node_next_sibling(const void *node, void *node_out) {
  MORV_NAVIGATE(node, node_out, ts_node_next_sibling(self));
}

void morv_node_prev_sibling(const void *node, void *node_out) {
  MORV_NAVIGATE(node, node_out, ts_node_prev_sibling(self));
}

void morv_node_descendant_for_byte_range(const void *node, uint32_t start_byte,
                                         uint32_t end_byte, void *node_out) {
  MORV_NAVIGATE(node, node_out, ts_node_descendant_for_byte_range(self, start_byte, end_byte));
}

uint32_t morv_node_start_byte(const void *node) {
  MORV_QUERY(node, 0, ts_node_start_byte(self));
}

uint32_t morv_node_end_byte(const void *node) {
  MORV_QUERY(node, 0, ts_node_end_byte(self));
}

uint16_t morv_node_symbol(const void *node) {
  MORV_QUERY(node, 0, ts_node_symbol(self));
}

bool morv_node_is_named(const void *node) {
  MORV_QUERY(node, false, ts_node_is_named(self));
}

bool morv_node_is_missing(const void *node) {
  MORV_QUERY(node, false, ts_node_is_missing(self));
}

bool morv_node_is_error(const void *node) {
  MORV_QUERY(node, false, ts_node_is_error(self));
}

bool morv_node_has_error(const void *node) {
  MORV_QUERY(node, false, ts_node_has_error(self));
}

char *morv_node_string(const void *node) {
  MORV_QUERY(node, NULL, ts_node_string(self));
}
