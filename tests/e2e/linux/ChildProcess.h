#ifndef MORV_E2E_CHILDPROCESS_H
#define MORV_E2E_CHILDPROCESS_H

#include <map>
#include <string>
#include <vector>

// What a finished child process left behind.
struct ChildResult {
    // The exit code, or 128 + the signal number when a signal ended it.
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The current environment, as a map the tests can edit.
std::map<std::string, std::string> currentEnvironment();

// Runs `argv[0]` directly (no shell, no PATH search) with exactly `env`, in
// `workDir` when it is not empty, and collects both output streams.
ChildResult runChild(const std::vector<std::string>& argv,
                     const std::map<std::string, std::string>& env,
                     const std::string& workDir = std::string());

#endif
