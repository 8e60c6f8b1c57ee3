// Helpers shared by the bridge suites: UTF-16 documents behind the read
// callback, progress recorders, grammars and stand-in languages.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "morv_ts.h"

extern "C" {
const TSLanguage *tree_sitter_json(void);
const TSLanguage *tree_sitter_python(void);
}

namespace bridge_test {

// A document served to the parser in chunks of at most chunkBytes bytes,
// recording every read request.
struct Document {
  struct Read {
    uint32_t byteIndex;
    uint32_t row;
    uint32_t column;
  };

  explicit Document(std::u16string content, uint32_t chunk = UINT32_MAX)
      : text(std::move(content)), chunkBytes(chunk) {}

  uint32_t byteSize() const { return static_cast<uint32_t>(text.size() * 2); }

  static const void *read(void *context, uint32_t byteIndex, uint32_t row, uint32_t column,
                          uint32_t *bytesRead) {
    auto *self = static_cast<Document *>(context);
    self->reads.push_back({byteIndex, row, column});
    const char *bytes = reinterpret_cast<const char *>(self->text.data());
    if (byteIndex >= self->byteSize()) {
      *bytesRead = 0;
      return bytes;
    }
    uint32_t available = self->byteSize() - byteIndex;
    *bytesRead = available < self->chunkBytes ? available : self->chunkBytes;
    return bytes + byteIndex;
  }

  std::u16string text;
  uint32_t chunkBytes;
  std::vector<Read> reads;
};

// A progress function that asks to stop from its stopAt-th call on (0: never).
struct Progress {
  static bool report(void *context, uint32_t byteOffset) {
    auto *self = static_cast<Progress *>(context);
    self->offsets.push_back(byteOffset);
    return self->stopAt != 0 && self->offsets.size() >= self->stopAt;
  }

  size_t stopAt = 0;
  std::vector<uint32_t> offsets;
};

inline MorvTree *parse(MorvParser *parser, Document &document, const MorvTree *oldTree = nullptr,
                       Progress *progress = nullptr) {
  static thread_local Progress quiet;
  Progress *p = progress != nullptr ? progress : &quiet;
  return morv_parser_parse(parser, oldTree, &Document::read, &document, &Progress::report, p);
}

inline MorvNode root(const MorvTree *tree) {
  MorvNode node;
  morv_tree_root(tree, &node);
  return node;
}

inline MorvNode child(const MorvNode &node, uint32_t index) {
  MorvNode out;
  morv_node_child(&node, index, &out);
  return out;
}

inline MorvNode namedChild(const MorvNode &node, uint32_t index) {
  MorvNode out;
  morv_node_named_child(&node, index, &out);
  return out;
}

// The node's S-expression, with the library's buffer released.
inline std::string sexp(const MorvNode &node) {
  char *text = morv_node_string(&node);
  std::string result = text != nullptr ? text : "";
  morv_free(text);
  return result;
}

inline std::string symbolName(const TSLanguage *language, const MorvNode &node) {
  const char *name = morv_language_symbol_name(language, morv_node_symbol(&node));
  return name != nullptr ? name : "";
}

// The byte offset of the first occurrence of needle in the UTF-16 text.
inline uint32_t byteOffsetOf(const std::u16string &text, const std::u16string &needle) {
  return static_cast<uint32_t>(text.find(needle) * 2);
}

// A copy of a real grammar (the Python one, whose record has the full
// current layout) with its ABI version, the record's first word, patched.
size_t languageRecordSize();

struct PatchedLanguage {
  explicit PatchedLanguage(uint32_t abi) {
    std::memset(storage, 0, sizeof storage);
    const size_t size = languageRecordSize();
    std::memcpy(storage, tree_sitter_python(), size < sizeof storage ? size : sizeof storage);
    std::memcpy(storage, &abi, sizeof abi);
  }
  const TSLanguage *get() const { return reinterpret_cast<const TSLanguage *>(storage); }

  alignas(8) unsigned char storage[1024];
};

}  // namespace bridge_test
