// The size of the grammar record, from the library's own definition of it;
// kept apart because that header clashes with the public API header.
#include <cstddef>

#include "parser.h"

#include "BridgeTestSupport.h"

namespace bridge_test {

size_t languageRecordSize() {
  static_assert(sizeof(TSLanguage) <= sizeof(PatchedLanguage::storage), "room for a grammar record");
  return sizeof(TSLanguage);
}

}  // namespace bridge_test
