/*
 * Prints, one per line, those of the given source files that the grammar
 * parses without an error or missing node, so that a benchmark corpus holds
 * only clean input.
 *
 *   clean_files java|javascript FILE...
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tree_sitter/api.h>

const TSLanguage *tree_sitter_java(void);
const TSLanguage *tree_sitter_javascript(void);

static char *read_file(const char *path, long *size) {
  FILE *file = fopen(path, "rb");
  if (file == NULL) {
    return NULL;
  }
  fseek(file, 0, SEEK_END);
  *size = ftell(file);
  fseek(file, 0, SEEK_SET);
  char *text = malloc((size_t)*size + 1);
  if (text != NULL && fread(text, 1, (size_t)*size, file) != (size_t)*size) {
    free(text);
    text = NULL;
  }
  fclose(file);
  return text;
}

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: clean_files java|javascript FILE...\n");
    return 2;
  }
  const TSLanguage *language = strcmp(argv[1], "java") == 0 ? tree_sitter_java()
                               : strcmp(argv[1], "javascript") == 0 ? tree_sitter_javascript()
                                                                     : NULL;
  if (language == NULL) {
    fprintf(stderr, "clean_files: unknown language %s\n", argv[1]);
    return 2;
  }
  TSParser *parser = ts_parser_new();
  ts_parser_set_language(parser, language);
  for (int i = 2; i < argc; i++) {
    long size = 0;
    char *text = read_file(argv[i], &size);
    if (text == NULL) {
      continue;
    }
    TSTree *tree = ts_parser_parse_string(parser, NULL, text, (uint32_t)size);
    if (tree != NULL && !ts_node_has_error(ts_tree_root_node(tree))) {
      puts(argv[i]);
    }
    ts_tree_delete(tree);
    free(text);
  }
  ts_parser_delete(parser);
  return 0;
}
