#include "handles.h"

/* The library's allocator hooks; not part of its public header. */
#include "alloc.h"

void morv_free(void *pointer) {
  /* Whatever allocator the library uses now, not necessarily the C runtime's. */
  ts_current_free(pointer);
}
