#include "tstrings.h"

#include <cstdarg>
#include <cwchar>
#include <stdexcept>
#include <vector>

namespace {

// wchar_t is UTF-32 here. Both directions are strict, as the Windows
// conversions are with MB_ERR_INVALID_CHARS: anything malformed gives an
// empty result rather than a partly converted text.

bool isScalarValue(std::uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

bool encodeUtf8Strict(const tstring& s, std::string& out) {
    out.clear();
    out.reserve(s.size());
    for (wchar_t wc : s) {
        const std::uint32_t c = static_cast<std::uint32_t>(wc);
        if (!isScalarValue(c)) {
            return false;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return true;
}

bool decodeUtf8Strict(const std::string& text, tstring& out) {
    out.clear();
    out.reserve(text.size());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        std::uint32_t c;
        std::size_t extra;
        std::uint32_t minimum;
        if (lead < 0x80) {
            c = lead;
            extra = 0;
            minimum = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            c = lead & 0x1F;
            extra = 1;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            c = lead & 0x0F;
            extra = 2;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            c = lead & 0x07;
            extra = 3;
            minimum = 0x10000;
        } else {
            return false; // continuation byte without lead, or 0xF8..0xFF
        }
        if (n - i - 1 < extra) {
            return false; // truncated
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (next & 0x3F);
        }
        if (c < minimum || !isScalarValue(c)) {
            return false; // overlong, surrogate or beyond U+10FFFF
        }
        out += static_cast<wchar_t>(c);
        i += extra + 1;
    }
    return true;
}

// glibc's wide printf takes a narrow text for %s (and a narrow character for
// %c); the launcher's formats mean wide ones, as the Windows runtime reads
// them. Adding the 'l' length modifier gives the same text on both.
std::wstring toGlibcFormat(const wchar_t* format) {
    std::wstring out;
    for (const wchar_t* p = format; *p; ++p) {
        out += *p;
        if (*p != L'%') {
            continue;
        }
        ++p;
        if (*p == L'%') {
            out += *p;
            continue;
        }
        // Flags, width, precision.
        while (*p && std::wcschr(L"-+ #0123456789.*", *p)) {
            out += *p++;
        }
        if ((*p == L's' || *p == L'c')) {
            out += L'l';
        }
        if (!*p) {
            break;
        }
        out += *p;
    }
    return out;
}

} // namespace

namespace tstrings {

namespace {
const std::size_t kMaxFormatUnits = 1u << 24;
} // namespace

std::string toMultiByte(const tstring& s, CodePage) {
    // Both code pages are UTF-8 on Linux.
    std::string out;
    if (!encodeUtf8Strict(s, out)) {
        return std::string();
    }
    return out;
}

tstring fromMultiByte(const std::string& text, CodePage) {
    tstring out;
    if (!decodeUtf8Strict(text, out)) {
        return tstring();
    }
    return out;
}

std::u16string toUtf16(const tstring& s) {
    std::u16string out;
    out.reserve(s.size());
    for (wchar_t wc : s) {
        std::uint32_t c = static_cast<std::uint32_t>(wc);
        if (c > 0x10FFFF) {
            c = 0xFFFD;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            // A lone surrogate passes unchanged, as it does on Windows.
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

tstring fromUtf16(const std::u16string& s) {
    tstring out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const std::uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            out += static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00));
            ++i;
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

tstring printfFormat(const wchar_t* format, ...) {
    if (!format) {
        throw std::invalid_argument("Destination buffer can't be NULL");
    }
    const std::wstring glibcFormat = toGlibcFormat(format);
    std::vector<wchar_t> buffer;
    int written = -1;
    while (written < 0) {
        // glibc also answers -1 for a format it cannot use, which no buffer
        // size cures; stop growing long before memory runs out.
        if (buffer.size() >= kMaxFormatUnits) {
            throw std::runtime_error("printfFormat: unusable format");
        }
        buffer.resize(buffer.size() + 256);
        va_list args;
        va_start(args, format);
        // -1 when the text and its terminator do not fit.
        written = std::vswprintf(buffer.data(), buffer.size(), glibcFormat.c_str(), args);
        va_end(args);
    }
    return tstring(buffer.data(), static_cast<std::size_t>(written));
}

} // namespace tstrings
