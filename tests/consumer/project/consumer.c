/*
 * A program that uses the installed bridge as any C consumer would: only
 * morv_ts.h and the library, with a grammar of its own linked in. It parses a
 * small JSON text, checks the tree and runs a query; exits 0 when every
 * result is the expected one.
 */
#include <morv_ts.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const TSLanguage *tree_sitter_json(void);

static int failures;

static void check(int ok, const char *what) {
  if (!ok) {
    fprintf(stderr, "consumer: %s\n", what);
    ++failures;
  }
}

int main(void) {
  static const char ascii[] = "{\"a\": [1, null]}";
  uint16_t text[sizeof ascii];
  uint32_t units = (uint32_t)strlen(ascii);
  for (uint32_t i = 0; i < units; ++i) {
    text[i] = (uint16_t)ascii[i];
  }
  const TSLanguage *json = tree_sitter_json();
  uint32_t abi = morv_language_abi_version(json);
  check(abi >= 13 && abi <= 15, "the grammar's ABI version is outside 13..15");

  MorvParser *parser = morv_parser_create();
  check(parser != NULL, "morv_parser_create returned null");
  check(morv_parser_set_language(parser, json), "morv_parser_set_language refused the grammar");
  MorvTree *tree = morv_parser_parse_utf16(parser, NULL, text, units * 2, NULL, 0);
  check(tree != NULL, "morv_parser_parse_utf16 returned null");
  if (tree == NULL) {
    morv_parser_delete(parser);
    return 1;
  }

  MorvNode root;
  morv_tree_root(tree, &root);
  check(morv_node_start_byte(&root) == 0 && morv_node_end_byte(&root) == units * 2,
        "the root does not span the text in UTF-16 bytes");
  check(!morv_node_has_error(&root), "the tree has an error");
  char *tree_text = morv_node_string(&root);
  const char *expected =
      "(document (object (pair key: (string (string_content)) value: (array (number) (null)))))";
  if (tree_text == NULL || strcmp(tree_text, expected) != 0) {
    fprintf(stderr, "consumer: tree %s\n          expected %s\n", tree_text ? tree_text : "(null)",
            expected);
    ++failures;
  }
  morv_free(tree_text);

  static const char source[] = "(pair key: (string) @key)";
  uint32_t error_offset = 1, error_type = 1;
  MorvQuery *query = morv_query_new(json, source, (uint32_t)strlen(source), &error_offset,
                                    &error_type);
  check(query != NULL && error_type == 0 && error_offset == 0, "the query did not compile");
  MorvCursor *cursor = morv_cursor_create();
  morv_cursor_exec(cursor, query, &root);
  MorvQueryMatch match;
  uint32_t index = 0;
  if (morv_cursor_next_capture(cursor, &match, &index)) {
    const MorvQueryCapture *capture = &match.captures[index];
    uint32_t name_length = 0;
    const char *name = morv_query_capture_name(query, capture->index, &name_length);
    check(name != NULL && name_length == 3 && memcmp(name, "key", 3) == 0,
          "the capture is not named key");
    /* "a" with its quotes: code units 1 to 4. */
    check(morv_node_start_byte(&capture->node) == 2 && morv_node_end_byte(&capture->node) == 8,
          "the capture is not the key's string");
    check(!morv_cursor_next_capture(cursor, &match, &index), "the query captured a second node");
  } else {
    check(false, "the query captured nothing");
  }

  morv_cursor_delete(cursor);
  morv_query_delete(query);
  morv_tree_delete(tree);
  morv_parser_delete(parser);
  if (failures == 0) {
    printf("consumer: ok\n");
  }
  return failures == 0 ? 0 : 1;
}
