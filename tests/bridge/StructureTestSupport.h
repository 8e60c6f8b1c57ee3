// Helpers of the structure suites: real files as UTF-16 documents, parses
// into owned trees, and the node walk through the node functions alone,
// against which the cursor and the bulk export are checked.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BridgeTestSupport.h"
#include "TextFiles.h"

extern "C" {
const TSLanguage *tree_sitter_javascript(void);
const TSLanguage *tree_sitter_java(void);
const TSLanguage *tree_sitter_html(void);
}

namespace bridge_test {

struct ParserDeleter {
  void operator()(MorvParser *p) const { morv_parser_delete(p); }
};
struct TreeDeleter {
  void operator()(MorvTree *t) const { morv_tree_delete(t); }
};
struct TreeCursorDeleter {
  void operator()(MorvTreeCursor *c) const { morv_tree_cursor_delete(c); }
};
struct TreeExportDeleter {
  void operator()(MorvTreeExport *e) const { morv_tree_export_delete(e); }
};
using ParserPtr = std::unique_ptr<MorvParser, ParserDeleter>;
using TreePtr = std::unique_ptr<MorvTree, TreeDeleter>;
using TreeCursorPtr = std::unique_ptr<MorvTreeCursor, TreeCursorDeleter>;
using TreeExportPtr = std::unique_ptr<MorvTreeExport, TreeExportDeleter>;

inline std::string grammarFile(const std::string &relative) {
  return readFile(std::string(MORV_GRAMMARS_DIR) + "/" + relative);
}

// A parse of the whole text, in one chunk.
inline TreePtr parseText(MorvParser *parser, const std::u16string &text) {
  Document document(text);
  return TreePtr(parse(parser, document));
}

inline ParserPtr parserFor(const TSLanguage *language) {
  ParserPtr parser(morv_parser_create());
  EXPECT_TRUE(morv_parser_set_language(parser.get(), language));
  return parser;
}

inline bool sameNode(const MorvNode &a, const MorvNode &b) {
  return a.id == b.id && a.tree == b.tree &&
         std::memcmp(a.context, b.context, sizeof a.context) == 0;
}

// What a visit of one node reports.
struct Visit {
  MorvNode node;
  uint32_t depth;
  std::string field;  // empty for none
};

// Every node below and including `node`, in document order, each before its
// children, found with child indexes; fields by the parent's child index.
inline void walkByIndex(const MorvNode &node, uint32_t depth, const std::string &field,
                        std::vector<Visit> &out) {
  out.push_back({node, depth, field});
  const uint32_t count = morv_node_child_count(&node);
  for (uint32_t i = 0; i < count; ++i) {
    MorvNode child;
    morv_node_child(&node, i, &child);
    const char *name = morv_node_field_name_for_child(&node, i);
    walkByIndex(child, depth + 1, name != nullptr ? name : "", out);
  }
}

}  // namespace bridge_test
