#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <stdatomic.h>
#include <stddef.h>

#include "../pin.h"

/*
 * The last language pinned: a parser is usually handed the same few grammars
 * again and again. Only a pinned language is remembered: memory that held
 * an unpinned one may later hold a library. A race only pins twice, which is
 * harmless.
 */
static _Atomic(const void *) last_pinned;

void morv_language_pin(const TSLanguage *language) {
  if (language == NULL || atomic_load_explicit(&last_pinned, memory_order_relaxed) == language) {
    return;
  }
  /*
   * FROM_ADDRESS finds the module whose image holds the language's tables;
   * PIN keeps it loaded until the process ends, so no FreeLibrary can unload
   * it. An address outside every image (a language built in memory) finds
   * no module and is left as it is; one inside the program pins the program,
   * which changes nothing.
   */
  HMODULE module = NULL;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         (LPCWSTR)(const void *)language, &module)) {
    atomic_store_explicit(&last_pinned, (const void *)language, memory_order_relaxed);
  }
}
