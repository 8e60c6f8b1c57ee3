#include "handles.h"

/* The library's monotonic clock, which it also builds for Windows. */
#include "clock.h"

typedef struct TextInput {
  const char *text;
  uint32_t byte_length;
} TextInput;

typedef struct StopRule {
  const volatile uint32_t *cancel_flag;
  TSClock deadline;
} StopRule;

static const char *read_text(void *payload, uint32_t byte_index, TSPoint position,
                             uint32_t *bytes_read) {
  (void)position;
  const TextInput *input = payload;
  if (byte_index >= input->byte_length) {
    *bytes_read = 0;
    return "";
  }
  *bytes_read = input->byte_length - byte_index;
  return input->text + byte_index;
}

/* Called by the library every hundred or so parse actions, also while it balances the tree. */
/*
 * Another thread may store the flag while the parse runs: it is loaded
 * atomically (a 32-bit cell has the layout of an atomic one on every target).
 */
static bool cancelled(const volatile uint32_t *flag) {
  return flag != NULL &&
         atomic_load_explicit((const volatile _Atomic uint32_t *)flag, memory_order_relaxed) != 0;
}

static bool should_stop(TSParseState *state) {
  const StopRule *rule = state->payload;
  if (cancelled(rule->cancel_flag)) {
    return true;
  }
  return !clock_is_null(rule->deadline) && clock_is_gt(clock_now(), rule->deadline);
}

MorvTree *morv_parser_parse_utf16(MorvParser *parser, const MorvTree *old_tree, const void *text,
                                  uint32_t byte_length, const volatile uint32_t *cancel_flag,
                                  uint64_t timeout_micros) {
  if (parser == NULL || (text == NULL && byte_length != 0)) {
    return NULL;
  }
  if (cancelled(cancel_flag)) {
    /* A short text might end before the library first asks whether to stop. */
    parser->reset_pending = true;
    return NULL;
  }
  /* Half a code unit at the end is no text the library could decode. */
  TextInput text_input = {text != NULL ? text : "", byte_length & ~1u};
  StopRule rule = {
      .cancel_flag = cancel_flag,
      .deadline = timeout_micros != 0 ? clock_after(clock_now(), duration_from_micros(timeout_micros))
                                      : clock_null(),
  };
  TSTree *tree = morv_parser_run(parser, old_tree, read_text, &text_input,
                                 cancel_flag != NULL || timeout_micros != 0 ? should_stop : NULL,
                                 &rule);
  if (tree == NULL) {
    /*
     * A caller stops a parse because its text changed; resuming the stopped
     * parse on the next text would mix the two. Resetting frees everything
     * the stopped parse built, which takes as long as a good part of the
     * parse did, so it waits for the parser's next use: the caller has its
     * answer at once.
     */
    parser->reset_pending = true;
    return NULL;
  }
  return morv_tree_wrap(tree);
}
