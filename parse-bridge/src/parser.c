#include <stdlib.h>

#include "handles.h"
#include "pin.h"

typedef struct ReadRecord {
  void *context;
  MorvReadFunction read;
} ReadRecord;

typedef struct ProgressRecord {
  void *context;
  MorvProgressFunction progress;
} ProgressRecord;

static const char *read_adapter(void *payload, uint32_t byte_index, TSPoint position,
                                uint32_t *bytes_read) {
  const ReadRecord *record = payload;
  /* A read function that never stores a count would leave the previous one in force. */
  *bytes_read = 0;
  const char *text =
      record->read(record->context, byte_index, position.row, position.column, bytes_read);
  if (text == NULL) {
    /* The library would read through the pointer whatever the count says. */
    *bytes_read = 0;
    return "";
  }
  return text;
}

static bool progress_adapter(TSParseState *state) {
  const ProgressRecord *record = state->payload;
  return record->progress(record->context, state->current_byte_offset);
}

/*
 * Reusing a tree of another language would read its nodes through this
 * language's tables (the library checks that only in debug builds), so such
 * an old tree gives a fresh parse.
 */
static const TSTree *reusable_old_tree(const TSParser *parser, const MorvTree *old_tree) {
  if (old_tree == NULL || old_tree->tree == NULL ||
      ts_tree_language(old_tree->tree) != ts_parser_language(parser)) {
    return NULL;
  }
  return old_tree->tree;
}

TSTree *morv_parser_run(MorvParser *handle, const MorvTree *old_tree,
                        const char *(*read)(void *payload, uint32_t byte_index, TSPoint position,
                                            uint32_t *bytes_read),
                        void *read_payload, bool (*progress)(TSParseState *state),
                        void *progress_payload) {
  TSParser *parser = handle->parser;
  if (handle->reset_pending) {
    ts_parser_reset(parser);
    handle->reset_pending = false;
  }
  TSInput input = {
      .payload = read_payload,
      .read = read,
      .encoding = TSInputEncodingUTF16LE,
      .decode = NULL,
  };
  TSParseOptions options = {
      .payload = progress_payload,
      .progress_callback = progress,
  };
  return ts_parser_parse_with_options(parser, reusable_old_tree(parser, old_tree), input, options);
}

MorvParser *morv_parser_create(void) {
  MorvParser *handle = malloc(sizeof *handle);
  if (handle == NULL) {
    return NULL;
  }
  handle->parser = ts_parser_new();
  handle->reset_pending = false;
  return handle;
}

void morv_parser_delete(MorvParser *parser) {
  if (parser == NULL) {
    return;
  }
  if (parser->parser != NULL) {
    ts_parser_delete(parser->parser);
  }
  free(parser);
}

bool morv_parser_set_language(MorvParser *parser, const TSLanguage *language) {
  if (parser == NULL) {
    return false;
  }
  morv_language_pin(language);
  return ts_parser_set_language(parser->parser, language);
}

void morv_parser_reset(MorvParser *parser) {
  if (parser != NULL) {
    ts_parser_reset(parser->parser);
    parser->reset_pending = false;
  }
}

MorvTree *morv_parser_parse(MorvParser *parser, const MorvTree *old_tree, MorvReadFunction read,
                            void *read_context, MorvProgressFunction progress,
                            void *progress_context) {
  if (parser == NULL || read == NULL) {
    return NULL;
  }
  ReadRecord read_record = {read_context, read};
  ProgressRecord progress_record = {progress_context, progress};
  return morv_tree_wrap(morv_parser_run(parser, old_tree, read_adapter, &read_record,
                                        progress != NULL ? progress_adapter : NULL,
                                        &progress_record));
}
