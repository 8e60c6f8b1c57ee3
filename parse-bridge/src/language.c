#include "handles.h"

uint32_t morv_language_abi_version(const TSLanguage *language) {
  return language != NULL ? ts_language_abi_version(language) : 0;
}

const char *morv_language_symbol_name(const TSLanguage *language, uint32_t symbol) {
  return language != NULL ? ts_language_symbol_name(language, (TSSymbol)symbol) : NULL;
}
