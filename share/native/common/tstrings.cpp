#include "tstrings.h"

#include <locale>

namespace tstrings {

std::string encodeUtf8(const tstring& s) { return toMultiByte(s, CodePage::Utf8); }

tstring decodeUtf8(const std::string& text) { return fromMultiByte(text, CodePage::Utf8); }

std::string encodeAnsi(const tstring& s) { return toMultiByte(s, CodePage::Ansi); }

bool isValidUtf8(const std::string& text) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        std::size_t extra;
        std::uint32_t c;
        std::uint32_t minimum;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            c = lead & 0x1Fu;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            c = lead & 0x0Fu;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            c = lead & 0x07u;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (n - i - 1 < extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (next & 0x3Fu);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

tstring lowercase(const tstring& s) {
    // The "C" locale's tolower: only A to Z change. Written out because
    // tolower() is undefined for values beyond unsigned char.
    tstring result(s);
    for (wchar_t& c : result) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return result;
}

bool isEqual(const tstring& a, const tstring& b, CaseMode mode) {
    if (mode == CaseMode::IgnoreCase) {
        return lowercase(a) == lowercase(b);
    }
    return a == b;
}

bool hasPrefix(const tstring& s, const tstring& prefix, CaseMode mode) {
    if (s.size() < prefix.size()) {
        return false;
    }
    return isEqual(s.substr(0, prefix.size()), prefix, mode);
}

bool hasSuffix(const tstring& s, const tstring& suffix, CaseMode mode) {
    if (s.size() < suffix.size()) {
        return false;
    }
    return isEqual(s.substr(s.size() - suffix.size()), suffix, mode);
}

tstring_array splitBy(const tstring& s, const tstring& delimiter) {
    tstring_array pieces;
    if (s.empty() || delimiter.empty()) {
        return pieces;
    }
    tstring::size_type start = 0;
    for (;;) {
        const tstring::size_type pos = s.find(delimiter, start);
        if (pos == tstring::npos) {
            break;
        }
        pieces.push_back(s.substr(start, pos - start));
        start = pos + delimiter.size();
    }
    pieces.push_back(s.substr(start));
    return pieces;
}

bool LessIgnoreCase::operator()(const tstring& a, const tstring& b) const {
    return lowercase(a) < lowercase(b);
}

MessageBuilder::MessageBuilder() { stream.imbue(std::locale::classic()); }

MessageBuilder::MessageBuilder(const char* utf8) : MessageBuilder() {
    if (utf8) {
        stream << decodeUtf8(utf8);
    }
}

MessageBuilder::MessageBuilder(const std::string& utf8) : MessageBuilder() {
    stream << decodeUtf8(utf8);
}

MessageBuilder::MessageBuilder(const MessageBuilder& other) : MessageBuilder() {
    stream << other.str();
}

MessageBuilder& MessageBuilder::operator=(const MessageBuilder& other) {
    if (this != &other) {
        stream.str(other.str());
        stream.clear();
        stream.seekp(0, std::ios_base::end);
    }
    return *this;
}

MessageBuilder& MessageBuilder::operator<<(const char* narrow) {
    if (!narrow) {
        return *this;
    }
    // Byte by byte on purpose: literals are ASCII, and a text of unknown
    // encoding is never rejected.
    for (const char* p = narrow; *p; ++p) {
        stream.put(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    }
    return *this;
}

MessageBuilder& MessageBuilder::operator<<(const std::string& utf8) {
    stream << decodeUtf8(utf8);
    return *this;
}

MessageBuilder& MessageBuilder::operator<<(const tstring& s) {
    stream << s;
    return *this;
}

MessageBuilder& MessageBuilder::operator<<(const wchar_t* s) {
    // The standard stream has undefined behaviour for a null text.
    if (s) {
        stream << s;
    }
    return *this;
}

MessageBuilder& MessageBuilder::operator<<(const MessageBuilder& other) {
    stream << other.str();
    return *this;
}

tstring MessageBuilder::str() const { return stream.str(); }

std::string MessageBuilder::utf8() const { return encodeUtf8(str()); }

std::ostream& operator<<(std::ostream& os, const MessageBuilder& msg) { return os << msg.utf8(); }

} // namespace tstrings
