#include "tstrings.h"

#include <cstdarg>
#include <cwchar>
#include <stdexcept>
#include <vector>

namespace {

// wchar_t is UTF-32 here. File names, arguments and environment values are
// bytes on Linux and need not be UTF-8, so decoding is lossless: each byte of
// an invalid sequence becomes one of the reserved code points U+DC80..U+DCFF
// (lone low surrogates, which no valid UTF-8 text decodes to), and encoding
// turns those back into the same bytes. What the user passed is what the JVM
// receives. Any other value that UTF-8 cannot hold (another surrogate, beyond
// U+10FFFF) makes encoding fail with an empty result.

const std::uint32_t kEscapeBase = 0xDC00;

bool isScalarValue(std::uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

bool isEscapedByte(std::uint32_t c) { return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF; }

bool encodeUtf8Lossless(const tstring& s, std::string& out) {
    out.clear();
    out.reserve(s.size());
    for (wchar_t wc : s) {
        const std::uint32_t c = static_cast<std::uint32_t>(wc);
        if (isEscapedByte(c)) {
            out += static_cast<char>(c - kEscapeBase);
            continue;
        }
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

// The length of the well-formed sequence at text[i] and its value; 0 when
// the bytes there do not start one.
std::size_t decodeOne(const std::string& text, std::size_t i, std::uint32_t& value) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t extra;
    std::uint32_t c;
    std::uint32_t minimum;
    if (lead < 0x80) {
        value = lead;
        return 1;
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
        return 0; // continuation byte without lead, or 0xF8..0xFF
    }
    if (text.size() - i - 1 < extra) {
        return 0; // truncated
    }
    for (std::size_t k = 1; k <= extra; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || !isScalarValue(c)) {
        return 0; // overlong, surrogate or beyond U+10FFFF
    }
    value = c;
    return extra + 1;
}

tstring decodeUtf8Lossless(const std::string& text) {
    tstring out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::uint32_t c = 0;
        const std::size_t length = decodeOne(text, i, c);
        if (length == 0) {
            // Only this byte: the next one may start a valid sequence.
            out += static_cast<wchar_t>(kEscapeBase + static_cast<unsigned char>(text[i]));
            ++i;
        } else {
            out += static_cast<wchar_t>(c);
            i += length;
        }
    }
    return out;
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
    if (!encodeUtf8Lossless(s, out)) {
        return std::string();
    }
    return out;
}

tstring fromMultiByte(const std::string& text, CodePage) { return decodeUtf8Lossless(text); }

tstring decodeLegacyText(const std::string& text) { return decodeUtf8Lossless(text); }

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
