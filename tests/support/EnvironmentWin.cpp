#include "Environment.h"
#include "EnvironmentPlatform.h"

#include <windows.h>

#include <cstdlib>

#include "WinText.h"

namespace testsupport {

Environment currentEnvironment() {
    Environment env;
    wchar_t* block = GetEnvironmentStringsW();
    if (!block) {
        return env;
    }
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
        const std::wstring text(entry);
        const std::wstring::size_type eq = text.find(L'=');
        if (eq != std::wstring::npos && eq > 0) {
            env[utf8(text.substr(0, eq))] = utf8(text.substr(eq + 1));
        }
    }
    FreeEnvironmentStringsW(block);
    return env;
}

std::optional<std::wstring> getEnv(const std::wstring& name) {
    // A variable set empty needs one character, for its terminator: only a
    // missing one gives 0 with this error.
    SetLastError(0);
    DWORD n = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (n == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            return std::nullopt;
        }
        return std::wstring();
    }
    std::wstring value(n, L'\0');
    n = GetEnvironmentVariableW(name.c_str(), &value[0], n);
    value.resize(n);
    return value;
}

std::optional<std::string> getEnv(const std::string& name) {
    const std::optional<std::wstring> value = getEnv(utf16(name));
    return value ? std::optional<std::string>(utf8(*value)) : std::nullopt;
}

ScopedEnv& ScopedEnv::set(const std::wstring& name, const std::optional<std::wstring>& value) {
    return set(utf8(name), value ? std::optional<std::string>(utf8(*value)) : std::nullopt);
}

namespace platform {

void setEnv(const std::string& name, const std::optional<std::string>& value) {
    // The C runtime's copy first, for code that reads getenv; it passes its
    // narrow text on to the process environment, which the wide call then
    // puts right for values beyond ASCII.
    _putenv_s(name.c_str(), value ? value->c_str() : "");
    SetEnvironmentVariableW(utf16(name).c_str(), value ? utf16(*value).c_str() : nullptr);
}

} // namespace platform
} // namespace testsupport
