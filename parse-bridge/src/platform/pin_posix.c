#ifndef _GNU_SOURCE
#define _GNU_SOURCE /* dladdr, RTLD_NODELETE, RTLD_NOLOAD */
#endif
#include <dlfcn.h>
#include <stdatomic.h>
#include <stddef.h>

#include "../pin.h"

/*
 * The last language pinned: a parser is usually handed the same few grammars
 * again and again, and the loader's lookups are not free. Only a pinned
 * language is remembered: memory that held an unpinned one may later hold a
 * library. A race only pins twice, which is harmless.
 */
static _Atomic(const void *) last_pinned;

void morv_language_pin(const TSLanguage *language) {
  if (language == NULL || atomic_load_explicit(&last_pinned, memory_order_relaxed) == language) {
    return;
  }
  Dl_info info;
  if (dladdr(language, &info) != 0 && info.dli_fname != NULL && info.dli_fname[0] != '\0') {
    /*
     * NOLOAD finds the library already mapped without loading anything;
     * NODELETE then marks it as never to be unmapped, so the reference taken
     * here can be dropped at once. The program itself is not found by path
     * and stays as it is.
     */
    void *handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    if (handle != NULL) {
      dlclose(handle);
      atomic_store_explicit(&last_pinned, (const void *)language, memory_order_relaxed);
    }
  }
}
