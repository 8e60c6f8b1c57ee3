#ifndef MORV_TEST_LAUNCHIMAGE_H
#define MORV_TEST_LAUNCHIMAGE_H

// An application image laid out for real in a temporary directory, and a
// runner that starts its morv.exe with standard error on a pipe.

#include "WinApi.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Executor.h"

namespace e2e {

inline std::wstring env(const wchar_t* name) {
    const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) {
        return std::wstring();
    }
    std::wstring value(n, L'\0');
    value.resize(GetEnvironmentVariableW(name, &value[0], n));
    return value;
}

inline std::string utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &out[0], n, nullptr, nullptr);
    return out;
}

inline std::wstring wide(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, &out[0], n);
    return out;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& data) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << data;
}

// Sets environment variables of this process (inherited by what it starts)
// and puts the old values back when it goes.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            SetEnvironmentVariableW(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
        }
    }
    ScopedEnv& set(const std::wstring& name, const std::optional<std::wstring>& value) {
        std::optional<std::wstring> old;
        if (GetEnvironmentVariableW(name.c_str(), nullptr, 0) > 0 ||
            GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
            old = env(name.c_str());
        }
        saved.emplace_back(name, old);
        SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
        return *this;
    }

private:
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved;
};

// The build's files, named by the test registration.
inline std::filesystem::path builtFile(const wchar_t* variable) {
    return std::filesystem::path(env(variable));
}

class LaunchImage {
public:
    // A fresh image under the temporary directory; the blank in its name
    // makes every path that reaches a command line need quoting.
    explicit LaunchImage(const std::string& name) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root = std::filesystem::path(temp) /
               (L"morv e2e " + std::to_wstring(GetCurrentProcessId())) / wide(name);
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / L"app");
        std::filesystem::create_directories(root / L"runtime" / L"bin" / L"server");
        std::filesystem::copy_file(builtFile(L"MORV_E2E_MORV"), launcher());
    }
    ~LaunchImage() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
        // The directory of this test process goes with its last image.
        std::filesystem::remove(root.parent_path(), ignored);
    }
    LaunchImage(const LaunchImage&) = delete;
    LaunchImage& operator=(const LaunchImage&) = delete;

    std::filesystem::path launcher() const { return root / L"morv.exe"; }
    std::filesystem::path appDir() const { return root / L"app"; }
    std::filesystem::path binDir() const { return root / L"runtime" / L"bin"; }

    void writeCfg(const std::string& text) const { writeFile(appDir() / L"morv.cfg", text); }

    // The shared test runtime as runtime\bin\jli.dll.
    void installTestRuntime() const {
        std::filesystem::copy_file(builtFile(L"MORV_TEST_JLI_FILE"), binDir() / L"jli.dll",
                                   std::filesystem::copy_options::overwrite_existing);
    }

    // The probe runtime: jli.dll, server\jvm.dll and splashscreen.dll.
    void installProbeRuntime() const {
        const std::filesystem::path probe = builtFile(L"MORV_E2E_PROBE_DIR");
        const auto opts = std::filesystem::copy_options::overwrite_existing;
        std::filesystem::copy_file(probe / L"jli.dll", binDir() / L"jli.dll", opts);
        std::filesystem::copy_file(probe / L"jvm.dll", binDir() / L"server" / L"jvm.dll", opts);
        std::filesystem::copy_file(probe / L"splashscreen.dll", binDir() / L"splashscreen.dll",
                                   opts);
    }

    std::filesystem::path root;
};

struct RunResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    DWORD pid = 0;
    std::string standardError;
};

// Starts `program` with `args` (quoted by the launcher's own rule, which its
// own tests check against CommandLineToArgvW), standard error on a pipe
// that is drained while it runs. `whileRunning` gets the process once it
// started; the run is killed after `timeoutMs`.
inline RunResult run(const std::filesystem::path& program, const std::vector<std::wstring>& args,
                     DWORD timeoutMs = 60000,
                     const std::function<void(const PROCESS_INFORMATION&)>& whileRunning = {},
                     DWORD creationFlags = 0) {
    RunResult result;
    // Wine starts its desktop process from the first process of the session
    // that needs a window and hands it that process's standard error. Started
    // by a launcher, it would hold the pipe below open for as long as the
    // session lasts, and the drain would never end; started from here, it
    // holds only this test's own standard error.
    GetDesktopWindow();
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        return result;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inheritable, OPEN_EXISTING, 0, nullptr);

    Executor quoting(program.wstring());
    quoting.args() = args;
    std::wstring cmdline = quoting.commandLine();

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = nul;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi{};
    // The process-creation call resolves the program into a MAX_PATH buffer:
    // a longer path goes in its short form, as the launcher's restart does.
    std::wstring programPath = program.wstring();
    if (programPath.size() >= MAX_PATH) {
        std::wstring shortPath(programPath.size() + 1, L'\0');
        const DWORD n = GetShortPathNameW(programPath.c_str(), &shortPath[0],
                                          static_cast<DWORD>(shortPath.size()));
        if (n > 0 && n < shortPath.size()) {
            programPath = shortPath.substr(0, n);
        }
    }
    result.started = CreateProcessW(programPath.c_str(), &cmdline[0], nullptr, nullptr, TRUE,
                                    creationFlags, nullptr, nullptr, &si, &pi) != 0;
    CloseHandle(writeEnd);
    CloseHandle(nul);
    if (!result.started) {
        CloseHandle(readEnd);
        return result;
    }
    result.pid = pi.dwProcessId;

    std::thread reader([readEnd, &result]() {
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &n, nullptr) && n > 0) {
            result.standardError.append(buffer, n);
        }
    });
    if (whileRunning) {
        whileRunning(pi);
    }
    if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        result.timedOut = true;
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, INFINITE);
    }
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // The pipe ends when the last writer is gone; a restarted child that
    // outlived the launcher would keep it open, which the job rules out.
    reader.join();
    CloseHandle(readEnd);
    // Text-mode streams end lines with CR LF.
    result.standardError.erase(
        std::remove(result.standardError.begin(), result.standardError.end(), '\r'),
        result.standardError.end());
    return result;
}

// "<key> <value>" lines of the probe record.
inline std::map<std::string, std::string> readProbeRecord(const std::filesystem::path& path) {
    std::map<std::string, std::string> record;
    std::istringstream in(readFile(path));
    std::string key, value;
    while (in >> key >> value) {
        record[key] = value;
    }
    return record;
}

inline std::string decodeHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 1; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

inline bool waitForFile(const std::filesystem::path& path, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (std::filesystem::exists(path)) {
            return true;
        }
        Sleep(50);
    }
    return std::filesystem::exists(path);
}

} // namespace e2e

#endif
