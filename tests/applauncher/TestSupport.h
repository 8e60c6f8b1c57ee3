#ifndef MORV_TEST_APPLAUNCHER_SUPPORT_H
#define MORV_TEST_APPLAUNCHER_SUPPORT_H

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "Log.h"
#include "tstrings.h"

#ifdef _WIN32
#include "WinApi.h"
#else
#include <stdlib.h>
#endif

namespace testsupport {

namespace fs = std::filesystem;

inline tstring toT(const fs::path& p) {
#ifdef _WIN32
    return p.wstring();
#else
    return tstrings::decodeUtf8(p.string());
#endif
}

// A path built by the launcher as the file system names it.
inline fs::path toFs(const tstring& p) {
#ifdef _WIN32
    return fs::path(p);
#else
    return fs::path(tstrings::encodeUtf8(p));
#endif
}

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        thePath = fs::temp_directory_path() /
                  ("morv-al-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        fs::create_directories(thePath);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(thePath, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return thePath; }
    tstring tpath() const { return toT(thePath); }

    fs::path write(const fs::path& relative, const std::string& bytes) const {
        const fs::path file = thePath / relative;
        fs::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    fs::path thePath;
};

// Sets or removes one environment variable of the process and puts the old
// state back at the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const std::string& name, const std::optional<std::string>& value) : name(name) {
        old = get(name);
        set(name, value);
    }
    ~ScopedEnv() { set(name, old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    static std::optional<std::string> get(const std::string& name) {
#ifdef _WIN32
        const std::wstring wname = tstrings::decodeUtf8(name);
        SetLastError(0);
        DWORD n = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
        if (n == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            return std::string();
        }
        std::wstring buffer(n, L'\0');
        n = GetEnvironmentVariableW(wname.c_str(), &buffer[0], n);
        buffer.resize(n);
        return tstrings::encodeUtf8(buffer);
#else
        const char* v = getenv(name.c_str());
        return v ? std::optional<std::string>(v) : std::nullopt;
#endif
    }

    static void set(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
        // The C runtime's copy first, for code that reads getenv; it passes
        // its narrow text on to the process environment, which the wide call
        // then puts right for non-ASCII values.
        _putenv_s(name.c_str(), value ? value->c_str() : "");
        const std::wstring wname = tstrings::decodeUtf8(name);
        if (value) {
            SetEnvironmentVariableW(wname.c_str(), tstrings::decodeUtf8(*value).c_str());
        } else {
            SetEnvironmentVariableW(wname.c_str(), nullptr);
        }
#else
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
#endif
    }

private:
    std::string name;
    std::optional<std::string> old;
};

// Collects the log records written while it lives.
class CapturedLog : public LogAppender {
public:
    CapturedLog() : saved(LogRouter::instance().getAppender()) {
        LogRouter::instance().setAppender(this);
    }
    ~CapturedLog() override { LogRouter::instance().setAppender(saved); }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    void append(const LogRecord& record) override { records.push_back(record); }

    std::vector<tstring> messages(const tstring& level = tstring()) const {
        std::vector<tstring> out;
        for (const LogRecord& r : records) {
            if (level.empty() || r.levelName == level) {
                out.push_back(r.message);
            }
        }
        return out;
    }

    // The function each record names, for the records of `level`.
    std::vector<tstring> functions(const tstring& level) const {
        std::vector<tstring> out;
        for (const LogRecord& r : records) {
            if (r.levelName == level) {
                out.push_back(r.functionName);
            }
        }
        return out;
    }

    std::vector<LogRecord> records;

private:
    LogAppender* saved;
};

} // namespace testsupport

#endif
