#include "WinSysInfo.h"

#include "WinApi.h"

#include <shellapi.h>

#include <vector>

#include "ErrorHandling.h"
#include "FileUtils.h"

namespace {

typedef UINT(WINAPI* SystemDirFunction)(LPWSTR, UINT);

tstring getSystemDirImpl(SystemDirFunction function, const char* label) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const UINT n = function(buffer.data(), static_cast<UINT>(buffer.size()));
        if (n == 0) {
            RAISE_SYS_ERROR(function, label << " failed");
        }
        if (n < buffer.size()) {
            return FileUtils::removeTrailingSeparators(tstring(buffer.data()));
        }
        // Too small: n is the size needed, terminator included.
        buffer.resize(static_cast<std::size_t>(n) + 1);
    }
    RAISE_ERROR(tstrings::MessageBuilder() << "Unexpected reply from " << label);
}

tstring getModulePath(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD n = 0;
    for (;;) {
        n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        // A result equal to the buffer size means the name was cut.
        if (n < buffer.size()) {
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    if (n == 0) {
        RAISE_SYS_ERROR(&GetModuleFileNameW, "GetModuleFileName failed");
    }
    return tstring(buffer.data(), n);
}

tstring getEnvVariableImpl(const tstring& name, bool* errorFlag) {
    std::vector<wchar_t> buffer(10);
    SetLastError(0);
    DWORD n = GetEnvironmentVariableW(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    DWORD error = GetLastError();
    if (error == ERROR_ENVVAR_NOT_FOUND) {
        if (errorFlag) {
            *errorFlag = true;
            return tstring();
        }
        RAISE_SYS_ERROR_CODE(&GetEnvironmentVariableW, error,
                             "GetEnvironmentVariable(" << name << ") failed. Variable not set");
    }
    if (n > buffer.size()) {
        // n is the size needed, terminator included.
        buffer.resize(n);
        n = GetEnvironmentVariableW(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        error = GetLastError();
        if (error != 0) {
            if (errorFlag) {
                *errorFlag = true;
                return tstring();
            }
            RAISE_SYS_ERROR_CODE(&GetEnvironmentVariableW, error,
                                 "GetEnvironmentVariable(" << name << ") failed");
        }
    }
    if (errorFlag) {
        *errorFlag = false;
    }
    return tstring(buffer.data());
}

// The long form of `path` when the file system has one. A program started
// through the short form of its path (how a path beyond MAX_PATH can be
// started at all) is thereby known by the same name, whichever way it came,
// and finds the entry its parent added to PATH.
tstring longPathName(const tstring& path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return path;
        }
        if (n < buffer.size()) {
            return tstring(buffer.data(), n);
        }
        buffer.resize(n);
    }
}

} // namespace

namespace SysInfo {

tstring_array getCommandArgs(ArgsMode mode) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) {
        RAISE_SYS_ERROR(&CommandLineToArgvW, "CommandLineToArgvW failed");
    }
    tstring_array result;
    for (int i = mode == ArgsMode::WithoutProgramName ? 1 : 0; i < count; ++i) {
        result.push_back(args[i]);
    }
    LocalFree(args);
    return result;
}

tstring getProcessModulePath() {
    return longPathName(FileUtils::toAbsolutePath(getModulePath(nullptr)));
}

void* getCurrentModuleHandle() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&getCurrentModuleHandle), &module)) {
        RAISE_SYS_ERROR(&GetModuleHandleExW, "GetModuleHandleExW failed");
    }
    return module;
}

tstring getCurrentModulePath() { return getModulePath(static_cast<HMODULE>(getCurrentModuleHandle())); }

tstring getSystemDir() { return getSystemDirImpl(&GetSystemDirectoryW, "GetSystemDirectory"); }

tstring getEnvVariable(const tstring& name) { return getEnvVariableImpl(name, nullptr); }

tstring getEnvVariable(const nothrow_t&, const tstring& name, const tstring& defaultValue) {
    bool error = false;
    try {
        const tstring value = getEnvVariableImpl(name, &error);
        return error ? defaultValue : value;
    } catch (...) {
        // Only the buffer's allocation can still fail here.
        return defaultValue;
    }
}

bool isEnvVariableSet(const tstring& name) {
    wchar_t buffer[1];
    SetLastError(0);
    GetEnvironmentVariableW(name.c_str(), buffer, 1);
    return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

void setEnvVariable(const tstring& name, const tstring& value) {
    if (!SetEnvironmentVariableW(name.c_str(), value.c_str())) {
        RAISE_SYS_ERROR(&SetEnvironmentVariableW,
                        "SetEnvironmentVariable(" << name << ", " << value << ") failed");
    }
}

} // namespace SysInfo
