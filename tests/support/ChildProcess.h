#ifndef MORV_TESTSUPPORT_CHILDPROCESS_H
#define MORV_TESTSUPPORT_CHILDPROCESS_H

// Running a program as a child of the test: directly, without a shell or a
// search of PATH, with the arguments exactly as given.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Environment.h"

namespace testsupport {

// A child that has started, for a test that acts on it while it runs. The
// process and main-thread handles exist on Windows only (null elsewhere).
struct RunningChild {
    unsigned long pid = 0;
    void* process = nullptr;
    void* thread = nullptr;
};

struct ChildOptions {
    // The arguments after the program's own name. On Windows they are UTF-8
    // and reach the child quoted so that both of its parsers (the C
    // runtime's argv and CommandLineToArgvW) give them back unchanged.
    std::vector<std::string> args;
    // The child's whole environment; without it the child inherits this
    // process's (see ScopedEnv for changing single variables).
    std::optional<Environment> environment;
    // The child's working directory; empty: this process's.
    std::string workDir;
    // Standard output and error are either captured into the result or go
    // to the null device. Standard input is always the null device.
    bool captureOut = true;
    bool captureErr = true;
    // How long the child may run before it is killed; zero waits for ever.
    std::chrono::milliseconds timeout{0};
    // Windows process-creation flags (CREATE_SUSPENDED, DETACHED_PROCESS);
    // ignored elsewhere. A suspended child is resumed by `whileRunning`.
    unsigned long creationFlags = 0;
    // Called once the child has started, before the wait for its end; the
    // captured streams are drained meanwhile.
    std::function<void(const RunningChild&)> whileRunning;
};

struct ChildResult {
    bool started = false;
    // Why the child could not be started.
    std::string startError;
    // Killed at the end of its time.
    bool timedOut = false;
    // Windows: the process's exit code as the system keeps it (unsigned),
    // 99 when killed at the timeout. Elsewhere: the exit status, or 128 +
    // the signal that ended it. -1 when it did not start.
    long long exitCode = -1;
    unsigned long pid = 0;
    std::string out;
    std::string err;
};

ChildResult runChild(const std::string& program, const ChildOptions& options = ChildOptions());

// The path of a program built beside the running test program, by its name
// without the platform's suffix for programs.
std::string besideThisProgram(const std::string& name);

// What a '\n' written to a text-mode standard stream becomes.
std::string textLineEnd();

unsigned long currentProcessId();

} // namespace testsupport

#endif
