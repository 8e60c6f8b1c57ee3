#ifndef MORV_EXECUTOR_H
#define MORV_EXECUTOR_H

#include "WinApi.h"

#include <cstdint>
#include <functional>

#include "OwnedHandle.h"
#include "tstrings.h"

// Starts one child process and waits for it. Configure, call
// execAndWaitForExit() once, discard.
class Executor {
public:
    typedef std::function<void(HANDLE process)> ProcessCreatedCallback;

    explicit Executor(const tstring& appPath);

    // False: no console window for the child and its first window hidden.
    Executor& visible(bool v) {
        theVisible = v;
        return *this;
    }
    Executor& inherit(bool v) {
        theInherit = v;
        return *this;
    }
    // The first thread starts suspended and is resumed by execAndWaitForExit()
    // only after the child sits in its job and the callback has run.
    Executor& suspended(bool v) {
        theSuspended = v;
        return *this;
    }
    // Not owned: the caller keeps the job open as long as it matters.
    Executor& jobObject(HANDLE v) {
        jobHandle = v;
        return *this;
    }
    tstring_array& args() { return theArgs; }
    // Runs on the thread that calls execAndWaitForExit(), before resumption.
    Executor& onProcessCreated(const ProcessCreatedCallback& v) {
        processCreatedCallback = v;
        return *this;
    }

    // The child's exit code. A child created suspended is terminated when it
    // cannot be placed in its job, the callback fails or it cannot be resumed,
    // so a failed start leaves nothing behind.
    std::uint32_t execAndWaitForExit() const;

    // Creates the child; the first-thread handle goes to `threadHandle` when
    // given and is closed otherwise.
    OwnedHandle startProcess(OwnedHandle* threadHandle = nullptr) const;

    // The program path followed by the arguments, quoted so that both
    // CommandLineToArgvW and the C runtime's argv parsing give back exactly
    // the argument list.
    tstring commandLine() const;

private:
    bool theVisible;
    bool theInherit;
    bool theSuspended;
    HANDLE jobHandle;
    tstring_array theArgs;
    tstring appPath;
    ProcessCreatedCallback processCreatedCallback;
};

#endif
