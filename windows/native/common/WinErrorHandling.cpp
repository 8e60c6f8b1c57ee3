#include "ErrorHandling.h"

#include "WinApi.h"

#include <cerrno>

// Exported by msvcrt.dll, but MinGW-w64's headers do not declare it.
extern "C" __declspec(dllimport) errno_t __cdecl _wcserror_s(wchar_t* buffer, size_t size, int errnum);

namespace {

bool isTrailingJunk(wchar_t c) { return c <= L' ' || c == L'.'; }

} // namespace

std::uint32_t lastSysErrorCode() { return GetLastError(); }

void* findModuleOfAddress(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module)) {
        return nullptr;
    }
    return module;
}

tstring describeSystemError(std::uint32_t errorCode, void* module) {
    const DWORD baseFlags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    LPWSTR text = nullptr;
    DWORD length = 0;
    if (module) {
        length = FormatMessageW(baseFlags | FORMAT_MESSAGE_FROM_HMODULE, module, errorCode, 0,
                                reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    }
    if (length == 0) {
        if (text) {
            LocalFree(text);
            text = nullptr;
        }
        length = FormatMessageW(baseFlags, nullptr, errorCode, 0, reinterpret_cast<LPWSTR>(&text),
                                0, nullptr);
    }
    if (length == 0 || !text) {
        if (text) {
            LocalFree(text);
        }
        return L"No description available";
    }
    tstring result(text, length);
    LocalFree(text);
    for (wchar_t& c : result) {
        if (c < L' ') {
            c = L' ';
        }
    }
    while (!result.empty() && isTrailingJunk(result.back())) {
        result.pop_back();
    }
    return result;
}

std::string crtErrorText() {
    const int errnum = errno;
    wchar_t buffer[2048];
    if (_wcserror_s(buffer, sizeof(buffer) / sizeof(buffer[0]), errnum) != 0) {
        return std::string();
    }
    return tstrings::encodeUtf8(buffer);
}
