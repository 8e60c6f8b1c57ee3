#ifndef MORV_TSTRINGS_H
#define MORV_TSTRINGS_H

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

// The launcher's string: UTF-16 on Windows. On Linux wchar_t is 32 bits and
// the platform layer converts between UTF-8 and UTF-32 instead.
typedef std::wstring tstring;
typedef std::vector<tstring> tstring_array;

namespace tstrings {

enum class CaseMode { Exact, IgnoreCase };

// Code pages the launcher converts to and from. The values are the Windows
// code page numbers; on Linux the "ANSI" code page is UTF-8.
enum class CodePage : unsigned { Ansi = 0, Utf8 = 65001 };

// Narrow text of `s` in `codePage`; empty for empty input or input the
// platform cannot convert. Raises when the platform's two answers disagree.
std::string toMultiByte(const tstring& s, CodePage codePage);
// `text` decoded from `codePage`; empty for malformed input.
tstring fromMultiByte(const std::string& text, CodePage codePage);

std::string encodeUtf8(const tstring& s);
tstring decodeUtf8(const std::string& text);
std::string encodeAnsi(const tstring& s);

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// values beyond U+10FFFF); the empty text is.
bool isValidUtf8(const std::string& text);

// `text` that is not UTF-8, decoded the way the system reads legacy text
// files: on Windows in the ANSI code page of the system locale (not the
// process's, which the manifest makes UTF-8); on Linux byte for byte, each
// byte of an invalid sequence as U+DC80..U+DCFF, which encode back to the
// same byte. Never empty for non-empty input.
tstring decodeLegacyText(const std::string& text);

// UTF-16 code units of `s` (a copy on Windows, re-encoded from UTF-32 on
// Linux), for layouts that fix UTF-16 on every platform.
std::u16string toUtf16(const tstring& s);
tstring fromUtf16(const std::u16string& s);

tstring lowercase(const tstring& s);
bool isEqual(const tstring& a, const tstring& b, CaseMode mode = CaseMode::Exact);
bool hasPrefix(const tstring& s, const tstring& prefix, CaseMode mode = CaseMode::Exact);
bool hasSuffix(const tstring& s, const tstring& suffix, CaseMode mode = CaseMode::Exact);
tstring_array splitBy(const tstring& s, const tstring& delimiter);

struct LessIgnoreCase {
    bool operator()(const tstring& a, const tstring& b) const;
};

// printf-style formatting with the runtime's wide rules (%s takes a wide text).
tstring printfFormat(const wchar_t* format, ...);

// Builds the UTF-16 text of log and error messages. Formats like the wide
// standard stream in the "C" locale. A narrow character pointer is widened
// byte by byte (only ASCII survives), a narrow string object is decoded as
// UTF-8: literals stay ASCII, texts from elsewhere go in as std::string.
class MessageBuilder {
public:
    MessageBuilder();
    explicit MessageBuilder(const char* utf8);
    explicit MessageBuilder(const std::string& utf8);
    MessageBuilder(const MessageBuilder& other);
    MessageBuilder& operator=(const MessageBuilder& other);

    MessageBuilder& operator<<(const char* narrow);
    MessageBuilder& operator<<(char* narrow) { return *this << static_cast<const char*>(narrow); }
    MessageBuilder& operator<<(const std::string& utf8);
    MessageBuilder& operator<<(const tstring& s);
    MessageBuilder& operator<<(const wchar_t* s);
    MessageBuilder& operator<<(wchar_t* s) { return *this << static_cast<const wchar_t*>(s); }
    MessageBuilder& operator<<(const MessageBuilder& other);

    template <class T>
    MessageBuilder& operator<<(const T& value) {
        stream << value;
        return *this;
    }

    tstring str() const;
    std::string utf8() const;
    operator tstring() const { return str(); }

private:
    std::wostringstream stream;
};

std::ostream& operator<<(std::ostream& os, const MessageBuilder& msg);

} // namespace tstrings

#endif
