/* The library's grammar record, for the lookup of a symbol by name. */
#include "language.h"

#include "handles.h"

_Static_assert((int)TSSymbolTypeAuxiliary == (int)MorvSymbolTypeAuxiliary, "symbol types");
_Static_assert((int)TSSymbolTypeAnonymous == (int)MorvSymbolTypeAnonymous, "symbol types");

uint32_t morv_language_symbol_count(const TSLanguage *language) {
  return language != NULL ? ts_language_symbol_count(language) : 0;
}

static bool known_symbol(const TSLanguage *language, TSSymbol symbol) {
  return symbol == ts_builtin_sym_error || symbol == ts_builtin_sym_error_repeat ||
         symbol < ts_language_symbol_count(language);
}

uint16_t morv_language_symbol_for_name(const TSLanguage *language, const char *name,
                                       uint32_t length, bool named) {
  if (language == NULL || name == NULL) {
    return 0;
  }
  /*
   * Not the library's lookup: it takes every prefix of "ERROR" (the empty
   * name too) for the error symbol, and reads a symbol's name past its
   * terminator when the caller's name holds a NUL.
   */
  if (named && length == 5 && memcmp(name, "ERROR", 5) == 0) {
    return ts_builtin_sym_error;
  }
  const uint32_t count = ts_language_symbol_count(language);
  for (uint32_t i = 0; i < count; ++i) {
    const TSSymbol symbol = (TSSymbol)i;
    const TSSymbolMetadata metadata = ts_language_symbol_metadata(language, symbol);
    if ((!metadata.visible && !metadata.supertype) || metadata.named != named) {
      continue;
    }
    const char *candidate = language->symbol_names[symbol];
    if (strlen(candidate) == length && memcmp(candidate, name, length) == 0) {
      return ts_language_public_symbol(language, symbol);
    }
  }
  return 0;
}

int32_t morv_language_symbol_type(const TSLanguage *language, uint32_t symbol) {
  /* The library indexes its metadata with the symbol unchecked. */
  if (language == NULL || !known_symbol(language, (TSSymbol)symbol)) {
    return -1;
  }
  return (int32_t)ts_language_symbol_type(language, (TSSymbol)symbol);
}
