#include <dlfcn.h>

#include "GrammarLoader.h"

namespace bridge_test {

LoadedGrammar::LoadedGrammar(const std::string &path, const std::string &name) : path_(path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    return;
  }
  using Function = const TSLanguage *(*)();
  auto function = reinterpret_cast<Function>(dlsym(handle_, ("tree_sitter_" + name).c_str()));
  if (function != nullptr) {
    language_ = function();
  }
}

LoadedGrammar::~LoadedGrammar() { close(); }

void LoadedGrammar::close() {
  if (handle_ != nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
  }
}

bool LoadedGrammar::isMapped() const {
  void *probe = dlopen(path_.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (probe == nullptr) {
    return false;
  }
  dlclose(probe);
  return true;
}

}  // namespace bridge_test
