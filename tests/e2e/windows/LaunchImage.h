#ifndef MORV_TEST_LAUNCHIMAGE_H
#define MORV_TEST_LAUNCHIMAGE_H

// An application image laid out for real in a temporary directory, and a
// runner that starts its morv.exe with standard error on a pipe.

#include "WinApi.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Environment.h"
#include "TempDir.h"
#include "WinText.h"

namespace e2e {

// The build's files, named by the test registration.
inline std::filesystem::path builtFile(const wchar_t* variable) {
    return std::filesystem::path(testsupport::getEnv(variable).value_or(L""));
}

class LaunchImage {
public:
    // A fresh image under the temporary directory; the blank in its name
    // makes every path that reaches a command line need quoting.
    explicit LaunchImage(const std::string& name)
        : temp("morv e2e"), root(temp.path() / testsupport::utf16(name)) {
        std::filesystem::create_directories(root / L"app");
        std::filesystem::create_directories(root / L"runtime" / L"bin" / L"server");
        std::filesystem::copy_file(builtFile(L"MORV_E2E_MORV"), launcher());
    }
    LaunchImage(const LaunchImage&) = delete;
    LaunchImage& operator=(const LaunchImage&) = delete;

    std::filesystem::path launcher() const { return root / L"morv.exe"; }
    std::filesystem::path appDir() const { return root / L"app"; }
    std::filesystem::path binDir() const { return root / L"runtime" / L"bin"; }

    void writeCfg(const std::string& text) const { testsupport::writeFile(appDir() / L"morv.cfg", text); }

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

private:
    testsupport::TempDir temp;

public:
    // Inside the temporary directory, by the image's name.
    const std::filesystem::path root;
};

// Starts `program` with `args`, standard output on the null device and
// standard error on a pipe that is drained while it runs. `whileRunning`
// gets the process once it started; the run is killed after `timeoutMs`.
inline testsupport::ChildResult run(
    const std::filesystem::path& program, const std::vector<std::wstring>& args, DWORD timeoutMs = 60000,
    const std::function<void(const testsupport::RunningChild&)>& whileRunning = {},
    DWORD creationFlags = 0) {
    // Wine starts its desktop process from the first process of the session
    // that needs a window and hands it that process's standard error. Started
    // by a launcher, it would hold the pipe below open for as long as the
    // session lasts, and the drain would never end; started from here, it
    // holds only this test's own standard error.
    GetDesktopWindow();
    testsupport::ChildOptions options;
    for (const std::wstring& arg : args) {
        options.args.push_back(testsupport::utf8(arg));
    }
    options.captureOut = false;
    options.timeout = std::chrono::milliseconds(timeoutMs);
    options.creationFlags = creationFlags;
    options.whileRunning = whileRunning;
    // The pipe ends when the last writer is gone; a restarted child that
    // outlived the launcher would keep it open, which the job rules out.
    testsupport::ChildResult result = testsupport::runChild(testsupport::utf8(program.wstring()), options);
    // Text-mode streams end lines with CR LF.
    result.err.erase(std::remove(result.err.begin(), result.err.end(), '\r'), result.err.end());
    return result;
}

// "<key> <value>" lines of the probe record.
inline std::map<std::string, std::string> readProbeRecord(const std::filesystem::path& path) {
    std::map<std::string, std::string> record;
    std::istringstream in(testsupport::readFile(path));
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
