#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tstrings.h"

namespace {

using tstrings::CaseMode;

// é (U+00E9) and 中 (U+4E2D) in UTF-8.
const char kEAcuteUtf8[] = "\xC3\xA9";
const char kCjkUtf8[] = "\xE4\xB8\xAD";

TEST(StringsTest, CaseComparisonsChangeOnlyAsciiLetters) {
    EXPECT_EQ(L"abc-\u00C4z", tstrings::lowercase(L"ABC-\u00C4Z"));
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        CaseMode mode;
        bool equal;
    };
    const Case cases[] = {
        {L"ABC", L"abc", CaseMode::IgnoreCase, true},
        {L"ABC", L"abc", CaseMode::Exact, false},
        {L"\u00C4BC", L"\u00E4bc", CaseMode::IgnoreCase, false},
        {L"abc", L"abcd", CaseMode::IgnoreCase, false},
        {L"", L"", CaseMode::Exact, true},
        {L"[", L"{", CaseMode::IgnoreCase, false},
    };
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        EXPECT_EQ(cases[i].equal, tstrings::isEqual(cases[i].a, cases[i].b, cases[i].mode)) << "case " << i;
    }
    tstrings::LessIgnoreCase less;
    EXPECT_FALSE(less(L"PATH", L"path"));
    EXPECT_FALSE(less(L"path", L"PATH"));
    EXPECT_TRUE(less(L"Alpha", L"beta"));
}

TEST(StringsTest, PrefixAndSuffix) {
    struct Case {
        const wchar_t* s;
        const wchar_t* affix;
        CaseMode mode;
        bool prefix;
        bool suffix;
    };
    const Case cases[] = {
        {L"abc", L"", CaseMode::Exact, true, true},
        {L"", L"", CaseMode::Exact, true, true},
        {L"ab", L"abc", CaseMode::Exact, false, false},
        {L"run.EXE", L".exe", CaseMode::IgnoreCase, false, true},
        {L"run.EXE", L".exe", CaseMode::Exact, false, false},
        {L"JAVA_HOME", L"java", CaseMode::IgnoreCase, true, false},
        {L"abab", L"ab", CaseMode::Exact, true, true},
    };
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(c.prefix, tstrings::hasPrefix(c.s, c.affix, c.mode)) << "case " << i;
        EXPECT_EQ(c.suffix, tstrings::hasSuffix(c.s, c.affix, c.mode)) << "case " << i;
    }
}

TEST(StringsTest, SplitByKeepsEmptyPieces) {
    struct Case {
        const wchar_t* s;
        const wchar_t* delimiter;
        tstring_array pieces;
    };
    const Case cases[] = {
        {L"a;;b;", L";", {L"a", L"", L"b", L""}},
        {L";", L";", {L"", L""}},
        {L"abc", L";", {L"abc"}},
        {L"", L";", {}},
        {L"abc", L"", {}},
        {L"a::b:::c", L"::", {L"a", L"b", L":c"}},
        {L"aaa", L"aa", {L"", L"a"}},
    };
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        EXPECT_EQ(cases[i].pieces, tstrings::splitBy(cases[i].s, cases[i].delimiter)) << "case " << i;
    }
}

TEST(StringsTest, Utf8RoundTrip) {
    const tstring text = L"J\u00FCrgen \u4E2D \u00E9";
    const std::string utf8 = "J\xC3\xBCrgen \xE4\xB8\xAD \xC3\xA9";
    EXPECT_EQ(utf8, tstrings::encodeUtf8(text));
    EXPECT_EQ(text, tstrings::decodeUtf8(utf8));
    EXPECT_EQ("", tstrings::encodeUtf8(L""));
    EXPECT_EQ(L"", tstrings::decodeUtf8(""));
    // A text holding a zero is converted with its length, not up to the zero.
    EXPECT_EQ(std::string("a\0b", 3), tstrings::encodeUtf8(tstring(L"a\0b", 3)));
}

TEST(StringsTest, MalformedUtf8) {
    const char* cases[] = {
        "\x80",             // lone continuation byte
        "abc\xC3",          // truncated two-byte sequence
        "\xE4\xB8",         // truncated three-byte sequence
        "\xC0\xAF",         // overlong '/'
        "\xED\xA0\x80",     // surrogate U+D800
        "\xF4\x90\x80\x80", // U+110000
        "\xFF",
        "ok\xC3(",          // lead byte followed by a non-continuation
    };
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        EXPECT_FALSE(tstrings::isValidUtf8(cases[i])) << "case " << i;
#ifdef _WIN32
        // Strict: anything malformed gives an empty text.
        EXPECT_EQ(L"", tstrings::decodeUtf8(cases[i])) << "case " << i;
#else
        // Lossless: the bytes come back as they were.
        const tstring decoded = tstrings::decodeUtf8(cases[i]);
        EXPECT_FALSE(decoded.empty()) << "case " << i;
        EXPECT_EQ(cases[i], tstrings::encodeUtf8(decoded)) << "case " << i;
#endif
    }
    const char* valid[] = {"", "plain", "J\xC3\xBCrgen \xE6\x97\xA5", "\xF0\x9F\x98\x80",
                           "\xEF\xBB\xBF", "\xF4\x8F\xBF\xBF"};
    for (std::size_t i = 0; i < sizeof(valid) / sizeof(valid[0]); ++i) {
        EXPECT_TRUE(tstrings::isValidUtf8(valid[i])) << "valid case " << i;
    }
}

TEST(StringsTest, LegacyTextIsDecodedNotDropped) {
    struct Case {
        std::string bytes;
        tstring expected;
    };
#ifdef _WIN32
    // Code page 1252, the system locale's under Wine, whatever the process's
    // own (UTF-8) ANSI code page is.
    const Case cases[] = {
        {"M\xFCller", L"M\u00FCller"},
        {"\x80 \xE9t\xE9", L"\u20AC \u00E9t\u00E9"},
        {"ascii", L"ascii"},
        {"", L""},
    };
#else
    // Byte for byte: each byte of an invalid sequence as U+DC80..U+DCFF.
    const Case cases[] = {
        {"M\xFCller", L"M\xDCFCller"},
        {"\x80 \xC3\xA9t\xE9", L"\xDC80 \u00E9t\xDCE9"},
        {"ascii", L"ascii"},
        {"", L""},
    };
#endif
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        EXPECT_EQ(cases[i].expected, tstrings::decodeLegacyText(cases[i].bytes)) << "case " << i;
    }
}

TEST(StringsTest, Utf16OfSupplementaryCharacter) {
    // U+1F600 as a surrogate pair on every platform.
    const tstring s = tstrings::decodeUtf8("a\xF0\x9F\x98\x80");
    const std::u16string units = tstrings::toUtf16(s);
    ASSERT_EQ(3u, units.size());
    EXPECT_EQ(u'a', units[0]);
    EXPECT_EQ(0xD83D, units[1]);
    EXPECT_EQ(0xDE00, units[2]);
    EXPECT_EQ(s, tstrings::fromUtf16(units));
}

TEST(StringsTest, MessageBuilderNarrowForms) {
    // A character pointer is widened byte by byte; a string object and the
    // constructor decode UTF-8.
    tstrings::MessageBuilder widened;
    widened << kEAcuteUtf8;
    EXPECT_EQ(tstring(L"\u00C3\u00A9"), widened.str());

    tstrings::MessageBuilder decoded;
    decoded << std::string(kEAcuteUtf8);
    EXPECT_EQ(tstring(L"\u00E9"), decoded.str());

    EXPECT_EQ(tstring(L"\u00E9\u4E2D"), tstrings::MessageBuilder(std::string(kEAcuteUtf8) + kCjkUtf8).str());
    EXPECT_EQ(tstring(L"\u00E9"), tstrings::MessageBuilder(kEAcuteUtf8).str());
    EXPECT_EQ(std::string(kEAcuteUtf8) + kCjkUtf8,
              (tstrings::MessageBuilder() << L"\u00E9" << tstring(L"\u4E2D")).utf8());
}

TEST(StringsTest, MessageBuilderFormatsLikeTheClassicWideStream) {
    tstrings::MessageBuilder msg;
    msg << "n=" << 1234567 << ", u=" << 4294967295u << ", c=" << L'x' << ", neg=" << -5;
    EXPECT_EQ(L"n=1234567, u=4294967295, c=x, neg=-5", msg.str());

    tstrings::MessageBuilder copy(msg);
    copy << "!";
    EXPECT_EQ(L"n=1234567, u=4294967295, c=x, neg=-5!", copy.str());
    EXPECT_EQ(L"n=1234567, u=4294967295, c=x, neg=-5", msg.str());

    tstrings::MessageBuilder assigned;
    assigned << "old";
    assigned = msg;
    assigned << "+";
    EXPECT_EQ(L"n=1234567, u=4294967295, c=x, neg=-5+", assigned.str());

    std::ostringstream narrow;
    narrow << tstrings::MessageBuilder(std::string(kCjkUtf8));
    EXPECT_EQ(kCjkUtf8, narrow.str());
}

TEST(StringsTest, PrintfFormatUsesWideTextsAndGrowsTheBuffer) {
    EXPECT_EQ(L"0007/03, morv.exe (PID: 12)",
              tstrings::printfFormat(L"%04u/%02u, %s (PID: %u)", 7u, 3u, L"morv.exe", 12u));
    EXPECT_EQ(L"100% \u4E2D", tstrings::printfFormat(L"100%% %s", L"\u4E2D"));
    // Around the first buffer of 256 units: 255 fit with the terminator,
    // 256 need the second buffer.
    for (std::size_t n : {std::size_t(255), std::size_t(256), std::size_t(600)}) {
        const tstring long_(n, L'x');
        EXPECT_EQ(long_, tstrings::printfFormat(L"%s", long_.c_str())) << "length " << n;
    }
    EXPECT_THROW(tstrings::printfFormat(nullptr), std::invalid_argument);
}

} // namespace
