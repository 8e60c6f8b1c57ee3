#include "handles.h"

static void store_point(TSPoint point, MorvPoint *out) {
  out->row = point.row;
  out->column = point.column;
}

void morv_node_start_point(const void *node, MorvPoint *point) {
  if (point == NULL) {
    return;
  }
  TSNode self;
  store_point(morv_node_load(node, &self) ? ts_node_start_point(self) : (TSPoint){0, 0}, point);
}

void morv_node_end_point(const void *node, MorvPoint *point) {
  if (point == NULL) {
    return;
  }
  TSNode self;
  store_point(morv_node_load(node, &self) ? ts_node_end_point(self) : (TSPoint){0, 0}, point);
}
