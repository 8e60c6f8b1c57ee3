#include "ChildProcess.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <thread>

#include "WinText.h"

namespace testsupport {
namespace {

struct HandleCloser {
    void operator()(void* h) const {
        if (h && h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
        }
    }
};
typedef std::unique_ptr<void, HandleCloser> Handle;

std::string lastErrorText(const char* call) {
    return std::string(call) + " failed with error " + std::to_string(GetLastError());
}

// Appends `arg` as one argument that both of a child's parsers split out
// again unchanged. Backslashes count only in front of a quote: there 2n
// stand for n, and 2n+1 for n and a literal quote. A quote inside is always
// written as \", since "" within quotes is read differently by the two.
void appendArgument(std::wstring& line, const std::wstring& arg) {
    if (!line.empty()) {
        line += L' ';
    }
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    size_t pending = 0;
    for (size_t i = 0; i <= arg.size(); ++i) {
        const bool atEnd = i == arg.size();
        if (!atEnd && arg[i] == L'\\') {
            ++pending;
            continue;
        }
        // Doubled before the closing quote or a quote of the argument.
        const bool beforeQuote = atEnd || arg[i] == L'"';
        line.append(beforeQuote ? 2 * pending : pending, L'\\');
        pending = 0;
        if (!atEnd) {
            if (arg[i] == L'"') {
                line += L'\\';
            }
            line += arg[i];
        }
    }
    line += L'"';
}

// argv[0] is read up to the next blank, or within quotes up to the next
// quote, without any backslash rule; a path holds no quote.
std::wstring programPart(const std::wstring& program) {
    if (program.empty() || program.find_first_of(L" \t") != std::wstring::npos) {
        return L"\"" + program + L"\"";
    }
    return program;
}

// The process-creation call resolves the program into a MAX_PATH buffer: a
// longer path goes in its short form, which names the same file.
std::wstring creatablePath(const std::wstring& path) {
    if (path.size() < MAX_PATH) {
        return path;
    }
    std::wstring shortPath(path.size() + 1, L'\0');
    const DWORD n = GetShortPathNameW(path.c_str(), &shortPath[0], static_cast<DWORD>(shortPath.size()));
    return n > 0 && n < shortPath.size() ? shortPath.substr(0, n) : path;
}

// "name=value" strings one after the other, each ending in a NUL, and one
// more NUL at the end: an empty block is two NULs.
std::wstring environmentBlock(const Environment& env) {
    std::wstring block;
    for (const auto& entry : env) {
        block += utf16(entry.first) + L"=" + utf16(entry.second);
        block += L'\0';
    }
    if (block.empty()) {
        block += L'\0';
    }
    block += L'\0';
    return block;
}

Handle openNul(SECURITY_ATTRIBUTES& inheritable) {
    return Handle(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inheritable, OPEN_EXISTING, 0, nullptr));
}

// A pipe whose write end the child inherits and whose read end a thread of
// this process drains into `sink` until the last writer has gone.
class Capture {
public:
    Capture(SECURITY_ATTRIBUTES& inheritable, std::string& sink) : sink(sink) {
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
            return;
        }
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        reader.reset(readEnd);
        writer.reset(writeEnd);
    }
    // Joins the drain: returns once the last writer has gone.
    ~Capture() {
        if (thread.joinable()) {
            thread.join();
        }
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    bool ok() const { return reader != nullptr; }
    HANDLE childEnd() const { return writer.get(); }

    // Once the child holds its end: from then on only the child's copies
    // keep the pipe open.
    void start() {
        writer.reset();
        HANDLE from = reader.get();
        std::string* into = &sink;
        thread = std::thread([from, into]() {
            char buffer[4096];
            DWORD n = 0;
            while (ReadFile(from, buffer, sizeof(buffer), &n, nullptr) && n > 0) {
                into->append(buffer, n);
            }
        });
    }

private:
    std::string& sink;
    Handle reader;
    Handle writer;
    std::thread thread;
};

} // namespace

ChildResult runChild(const std::string& program, const ChildOptions& options) {
    ChildResult result;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const Handle nul = openNul(inheritable);
    // Only the pipes asked for: the child inherits every inheritable handle.
    std::optional<Capture> out;
    std::optional<Capture> err;
    if (options.captureOut) {
        out.emplace(inheritable, result.out);
    }
    if (options.captureErr) {
        err.emplace(inheritable, result.err);
    }
    if ((out && !out->ok()) || (err && !err->ok())) {
        result.startError = lastErrorText("CreatePipe");
        return result;
    }

    const std::wstring programPath = utf16(program);
    std::wstring commandLine = programPart(programPath);
    for (const std::string& arg : options.args) {
        appendArgument(commandLine, utf16(arg));
    }
    std::wstring block;
    DWORD flags = options.creationFlags;
    if (options.environment) {
        block = environmentBlock(*options.environment);
        flags |= CREATE_UNICODE_ENVIRONMENT;
    }
    const std::wstring workDir = utf16(options.workDir);

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul.get();
    si.hStdOutput = out ? out->childEnd() : nul.get();
    si.hStdError = err ? err->childEnd() : nul.get();
    PROCESS_INFORMATION pi{};
    // The call may write into the command line it is given.
    if (!CreateProcessW(creatablePath(programPath).c_str(), &commandLine[0], nullptr, nullptr, TRUE, flags,
                        options.environment ? &block[0] : nullptr, workDir.empty() ? nullptr : workDir.c_str(),
                        &si, &pi)) {
        result.startError = lastErrorText("CreateProcessW") + " for " + program;
        return result;
    }
    const Handle process(pi.hProcess);
    const Handle thread(pi.hThread);
    result.started = true;
    result.pid = pi.dwProcessId;
    for (std::optional<Capture>* capture : {&out, &err}) {
        if (*capture) {
            (*capture)->start();
        }
    }
    const auto stop = [&process]() {
        TerminateProcess(process.get(), 99);
        WaitForSingleObject(process.get(), INFINITE);
    };
    try {
        if (options.whileRunning) {
            options.whileRunning(RunningChild{pi.dwProcessId, pi.hProcess, pi.hThread});
        }
    } catch (...) {
        stop();
        throw;
    }
    const DWORD wait = options.timeout.count() > 0 ? static_cast<DWORD>(options.timeout.count()) : INFINITE;
    if (WaitForSingleObject(process.get(), wait) != WAIT_OBJECT_0) {
        result.timedOut = true;
        stop();
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    result.exitCode = code;
    // The pipes end when their last writer is gone; whatever the child
    // started and let inherit them keeps them open as long as it lives.
    out.reset();
    err.reset();
    return result;
}

std::string besideThisProgram(const std::string& name) {
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size()));
        if (n < self.size()) {
            self.resize(n);
            break;
        }
        self.resize(self.size() * 2);
    }
    return utf8(self.substr(0, self.find_last_of(L"\\/") + 1)) + name + ".exe";
}

std::string textLineEnd() { return "\r\n"; }

unsigned long currentProcessId() { return GetCurrentProcessId(); }

} // namespace testsupport
