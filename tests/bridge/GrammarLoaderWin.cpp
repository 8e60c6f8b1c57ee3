#include <windows.h>

#include "GrammarLoader.h"

namespace bridge_test {

namespace {

std::wstring widen(const std::string &text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(size > 0 ? size - 1 : 0, L'\0');
  if (size > 1) {
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], size);
  }
  return wide;
}

}  // namespace

LoadedGrammar::LoadedGrammar(const std::string &path, const std::string &name) : path_(path) {
  HMODULE module = LoadLibraryW(widen(path).c_str());
  handle_ = module;
  if (module == nullptr) {
    return;
  }
  using Function = const TSLanguage *(*)();
  // Through the generic function type, which any function pointer converts to.
  auto function = reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, ("tree_sitter_" + name).c_str())));
  if (function != nullptr) {
    language_ = function();
  }
}

LoadedGrammar::~LoadedGrammar() { close(); }

void LoadedGrammar::close() {
  if (handle_ != nullptr) {
    FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
  }
}

bool LoadedGrammar::isMapped() const {
  // GetModuleHandleW takes no reference and loads nothing.
  return GetModuleHandleW(widen(path_).c_str()) != nullptr;
}

}  // namespace bridge_test
