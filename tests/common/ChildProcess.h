#ifndef MORV_TESTS_CHILDPROCESS_H
#define MORV_TESTS_CHILDPROCESS_H

#include <string>
#include <vector>

struct ChildResult {
    int exitCode;
    std::string out;
    std::string err;
};

// Runs `program` (a file beside the test program) with `args`, with the
// environment variable `name` set to `value`, or removed when `value` is
// null, and returns its exit code and everything it wrote to standard
// output and standard error. No shell takes part.
ChildResult runChild(const std::string& program, const std::vector<std::string>& args, const char* name,
                     const char* value);

// What a '\n' written to a text-mode standard stream becomes.
std::string textLineEnd();

#endif
