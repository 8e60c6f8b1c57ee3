#ifndef MORV_TS_PIN_H_
#define MORV_TS_PIN_H_

#include <tree_sitter/api.h>

/*
 * Keeps the shared library that holds `language` loaded until the process
 * ends, whatever its loader does with its own handle: trees, queries and
 * cursors read the language's tables for as long as they live, and the
 * bridge cannot know when the last of them goes. A language outside every
 * shared library (linked into the program, or built in memory) is left as it
 * is, and so is null. One definition per platform, chosen by the build.
 */
void morv_language_pin(const TSLanguage *language);

#endif /* MORV_TS_PIN_H_ */
