#include "tstrings.h"

#include "WinApi.h"

#include <cstdarg>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "ErrorHandling.h"

namespace tstrings {

std::string toMultiByte(const tstring& s, CodePage codePage) {
    if (s.empty()) {
        return std::string();
    }
    // Passed with its length, so no terminating zero is counted.
    const int length = static_cast<int>(s.size());
    const UINT cp = static_cast<UINT>(codePage);
    const int n = WideCharToMultiByte(cp, 0, s.data(), length, nullptr, 0, nullptr, nullptr);
    if (n == 0) {
        return std::string();
    }
    std::string result(static_cast<std::size_t>(n), '\0');
    if (WideCharToMultiByte(cp, 0, s.data(), length, &result[0], n, nullptr, nullptr) != n) {
        RAISE_ERROR("Unexpected reply from WideCharToMultiByte()");
    }
    return result;
}

tstring fromMultiByte(const std::string& text, CodePage codePage) {
    if (text.empty()) {
        return tstring();
    }
    const int length = static_cast<int>(text.size());
    const UINT cp = static_cast<UINT>(codePage);
    // MB_ERR_INVALID_CHARS: malformed input gives 0 here, an empty result.
    const int n = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (n == 0) {
        return tstring();
    }
    tstring result(static_cast<std::size_t>(n), L'\0');
    if (MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text.data(), length, &result[0], n) != n) {
        RAISE_ERROR("Unexpected reply from MultiByteToWideChar()");
    }
    return result;
}

namespace {

// The ANSI code page of the system locale: what an editor that does not
// write UTF-8 saves a file in. The process's own ANSI code page is no
// guide, since the manifest makes it UTF-8.
UINT systemAnsiCodePage() {
    DWORD codePage = 0;
    if (GetLocaleInfoEx(LOCALE_NAME_SYSTEM_DEFAULT,
                        LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                        reinterpret_cast<LPWSTR>(&codePage),
                        sizeof(codePage) / sizeof(wchar_t)) == 0 ||
        codePage == CP_ACP) {
        // No answer, or a locale without an ANSI code page of its own: the
        // Western European one reads every byte as some character.
        codePage = 1252;
    }
    return codePage;
}

} // namespace

tstring decodeLegacyText(const std::string& text) {
    if (text.empty()) {
        return tstring();
    }
    const int length = static_cast<int>(text.size());
    const UINT cp = systemAnsiCodePage();
    // Without MB_ERR_INVALID_CHARS: a byte the code page leaves undefined
    // becomes a substitute character instead of costing the whole line.
    const int n = MultiByteToWideChar(cp, 0, text.data(), length, nullptr, 0);
    if (n == 0) {
        return tstring();
    }
    tstring result(static_cast<std::size_t>(n), L'\0');
    if (MultiByteToWideChar(cp, 0, text.data(), length, &result[0], n) != n) {
        RAISE_ERROR("Unexpected reply from MultiByteToWideChar()");
    }
    return result;
}

std::u16string toUtf16(const tstring& s) { return std::u16string(s.begin(), s.end()); }

tstring fromUtf16(const std::u16string& s) { return tstring(s.begin(), s.end()); }

tstring printfFormat(const wchar_t* format, ...) {
    if (!format) {
        throw std::invalid_argument("Destination buffer can't be NULL");
    }
    std::vector<wchar_t> buffer;
    int written = -1;
    while (written < 0) {
        buffer.resize(buffer.size() + 256);
        va_list args;
        va_start(args, format);
        // _TRUNCATE: -1 when the text and its terminator do not fit.
        written = _vsnwprintf_s(buffer.data(), buffer.size(), _TRUNCATE, format, args);
        va_end(args);
    }
    return tstring(buffer.data(), static_cast<std::size_t>(written));
}

} // namespace tstrings
