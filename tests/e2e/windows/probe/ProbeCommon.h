#ifndef MORV_PROBECOMMON_H
#define MORV_PROBECOMMON_H

#include <windows.h>

#include <cstdio>
#include <string>

namespace probe {

inline std::wstring env(const wchar_t* name) {
    const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) {
        return std::wstring();
    }
    std::wstring value(n, L'\0');
    value.resize(GetEnvironmentVariableW(name, &value[0], n));
    return value;
}

inline std::string hexUtf8(const std::wstring& text) {
    std::string utf8;
    if (!text.empty()) {
        const int size = static_cast<int>(text.size());
        const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
        utf8.resize(static_cast<size_t>(n));
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &utf8[0], n, nullptr, nullptr);
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex = "x";
    for (const unsigned char c : utf8) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// Written under a temporary name and renamed, so a reader polling for the
// file never sees half of it.
inline void writeWhole(const std::wstring& path, const std::string& data) {
    const std::wstring partial = path + L".part";
    if (FILE* f = _wfopen(partial.c_str(), L"wb")) {
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

// Plain Win32 file calls: this also runs inside DllMain.
inline void appendEvent(const char* event) {
    const std::wstring path = env(L"MORV_PROBE_EVENTS");
    if (path.empty()) {
        return;
    }
    HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string line = std::string(event) + "\n";
    DWORD written = 0;
    WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(f);
}

} // namespace probe

#endif
