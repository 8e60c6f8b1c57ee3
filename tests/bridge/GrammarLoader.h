// A grammar library loaded by path the way the editor's runtime loads one,
// with the loader's own calls: open, look up the language function, close the
// caller's handle, and ask the loader whether the library is still mapped.
#pragma once

#include <string>

#include "morv_ts.h"

namespace bridge_test {

class LoadedGrammar {
 public:
  // Loads the library at `path` and calls its tree_sitter_<name>() function;
  // language() is null when either fails.
  LoadedGrammar(const std::string &path, const std::string &name);
  ~LoadedGrammar();
  LoadedGrammar(const LoadedGrammar &) = delete;
  LoadedGrammar &operator=(const LoadedGrammar &) = delete;

  const TSLanguage *language() const { return language_; }

  // Drops the reference taken by the constructor (dlclose, FreeLibrary).
  void close();

  // Whether the library is mapped in the process, asked without loading it.
  bool isMapped() const;

 private:
  std::string path_;
  void *handle_ = nullptr;
  const TSLanguage *language_ = nullptr;
};

}  // namespace bridge_test
