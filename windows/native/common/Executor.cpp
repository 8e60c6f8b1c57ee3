#include "Executor.h"

#include <vector>

#include "ErrorHandling.h"
#include "Log.h"

namespace {

// argv[0] is split by its own rule in both parsers: up to the next blank, or
// inside quotes up to the next quote, without any backslash processing. A
// path cannot hold a quote, so quoting a path with a blank is enough.
tstring quoteProgramPath(const tstring& path) {
    if (path.empty() || path.find_first_of(L" \t") != tstring::npos) {
        return L"\"" + path + L"\"";
    }
    return path;
}

// Both parsers read 2n backslashes before a quote as n backslashes and a
// quote that delimits, 2n+1 as n backslashes and a literal quote;
// backslashes anywhere else are literal. "" inside quotes is where the two
// differ, so a quote is always written as \".
tstring quoteArgument(const tstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == tstring::npos) {
        return arg;
    }
    tstring out(1, L'"');
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
        } else {
            out.append(backslashes, L'\\');
        }
        out += c;
        backslashes = 0;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

// The file the process-creation call is given. That call resolves a program
// path into a buffer of MAX_PATH characters, so a longer path is handed over
// in its short form, which names the same file. Where no short form exists
// (8.3 names switched off) the path is passed as it is and the call's own
// error reports it.
tstring creatablePath(const tstring& path) {
    if (path.size() < MAX_PATH) {
        return path;
    }
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return path;
        }
        // Fitted: n is the length without the terminator; otherwise the size needed.
        if (n < buffer.size()) {
            return tstring(buffer.data(), n);
        }
        buffer.resize(n);
    }
}

// A child that never ran a line of its own must not outlive a start that
// failed half-way.
void terminateSuspendedChild(HANDLE process) {
    if (!TerminateProcess(process, 1)) {
        const DWORD err = GetLastError();
        WARNING_LOG("TerminateProcess(PID=" << GetProcessId(process) << ") failed; error " << err);
        return;
    }
    WaitForSingleObject(process, INFINITE);
}

} // namespace

Executor::Executor(const tstring& appPath)
    : theVisible(false),
      theInherit(false),
      theSuspended(false),
      jobHandle(nullptr),
      appPath(appPath) {}

tstring Executor::commandLine() const {
    tstring result = quoteProgramPath(appPath);
    for (const tstring& arg : theArgs) {
        result += L' ';
        result += quoteArgument(arg);
    }
    return result;
}

OwnedHandle Executor::startProcess(OwnedHandle* threadHandle) const {
    const tstring cmdline = commandLine();
    // CreateProcessW may write into its command line.
    std::vector<wchar_t> cmdlineBuffer(cmdline.begin(), cmdline.end());
    cmdlineBuffer.push_back(L'\0');

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    DWORD flags = theSuspended ? CREATE_SUSPENDED : 0;
    if (!theVisible) {
        si.dwFlags |= STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_HIDE;
        flags |= CREATE_NO_WINDOW;
    }

    tstrings::MessageBuilder description;
    description << "CreateProcess";
    if (theSuspended) {
        description << "[suspended]";
    }
    if (theVisible) {
        description << "[visible]";
    }
    if (theInherit) {
        description << "[inherit]";
    }
    description << "(" << appPath << ", " << cmdline << ")";

    const tstring program = creatablePath(appPath);
    if (!CreateProcessW(program.c_str(), cmdlineBuffer.data(), nullptr, nullptr,
                        theInherit ? TRUE : FALSE, flags, nullptr, nullptr, &si, &pi)) {
        RAISE_SYS_ERROR(&CreateProcessW, description << " failed");
    }
    OwnedHandle process(pi.hProcess);
    OwnedHandle thread(pi.hThread);

    try {
        TRACE_LOG(description << " succeeded; PID=" << pi.dwProcessId);

        if (threadHandle) {
            *threadHandle = std::move(thread);
        } else {
            thread.reset();
        }

        if (jobHandle) {
            TRACE_LOG("AssignProcessToJobObject(PID=" << pi.dwProcessId << ")");
            if (!AssignProcessToJobObject(jobHandle, process.get())) {
                RAISE_SYS_ERROR(&AssignProcessToJobObject, "AssignProcessToJobObject() failed");
            }
        }
        if (processCreatedCallback) {
            processCreatedCallback(process.get());
        }
    } catch (...) {
        if (theSuspended) {
            terminateSuspendedChild(process.get());
        }
        throw;
    }
    return process;
}

std::uint32_t Executor::execAndWaitForExit() const {
    OwnedHandle thread;
    OwnedHandle process = startProcess(&thread);

    if (theSuspended) {
        try {
            TRACE_LOG("ResumeThread()");
            if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
                RAISE_SYS_ERROR(&ResumeThread, "ResumeThread() failed");
            }
        } catch (...) {
            terminateSuspendedChild(process.get());
            throw;
        }
    }

    if (WaitForSingleObject(process.get(), INFINITE) == WAIT_FAILED) {
        RAISE_SYS_ERROR(&WaitForSingleObject, "WaitForSingleObject() failed");
    }

    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode)) {
        RAISE_SYS_ERROR(&GetExitCodeProcess, "GetExitCodeProcess() failed");
    }

    const DWORD pid = GetProcessId(process.get());
    if (pid == 0) {
        RAISE_SYS_ERROR(&GetProcessId, "GetProcessId() failed.");
    }

    TRACE_LOG("Process with PID=" << pid << " terminated. Exit code=" << exitCode);
    return exitCode;
}
