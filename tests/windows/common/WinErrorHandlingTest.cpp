#include <gtest/gtest.h>

#include "WinApi.h"

#include <cerrno>

#include "ErrorHandling.h"

namespace {

// The platform's raw text for a code, as FormatMessageW gives it.
tstring rawDescription(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                       FORMAT_MESSAGE_FROM_SYSTEM,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    tstring result(text ? text : L"", n);
    LocalFree(text);
    return result;
}

TEST(WinErrorHandlingTest, DescriptionsAreTrimmedPlatformTexts) {
    for (DWORD code : {DWORD(ERROR_FILE_NOT_FOUND), DWORD(ERROR_ACCESS_DENIED), DWORD(ERROR_ENVVAR_NOT_FOUND),
                       DWORD(ERROR_MOD_NOT_FOUND)}) {
        SCOPED_TRACE(code);
        const tstring raw = rawDescription(code);
        ASSERT_FALSE(raw.empty());
        const tstring d = describeSystemError(code, nullptr);
        ASSERT_FALSE(d.empty());
        EXPECT_NE(L'.', d.back());
        EXPECT_GT(d.back(), L' ');
        for (wchar_t c : d) {
            EXPECT_GE(c, L' ');
        }
        // Only the trailing period and line end went away.
        EXPECT_EQ(0u, raw.find(d));
        // A module without message table falls back to the system's texts.
        EXPECT_EQ(d, describeSystemError(code, GetModuleHandleW(nullptr)));
        EXPECT_EQ(L"system error " + std::to_wstring(code) + L" (" + d + L")", systemErrorText(code, nullptr));
    }
    EXPECT_EQ(L"No description available", describeSystemError(0x2000FFFFu, nullptr));
    EXPECT_EQ(L"No description available", describeSystemError(0x2000FFFFu, GetModuleHandleW(L"kernel32.dll")));
}

TEST(WinErrorHandlingTest, SysErrorTexts) {
    const std::string accessDenied = tstrings::encodeUtf8(describeSystemError(ERROR_ACCESS_DENIED, nullptr));
    const struct {
        const char* message;
        const void* function;
        DWORD code;
        const char* label;
        std::string text;
    } cases[] = {
        // With a function in a loaded module.
        {"Open failed", reinterpret_cast<const void*>(&GetFileAttributesW), ERROR_ACCESS_DENIED, "System error",
         "Open failed. System error [5](system error 5 (" + accessDenied + "))"},
        {"Open failed:", reinterpret_cast<const void*>(&GetFileAttributesW), ERROR_ACCESS_DENIED, "System error",
         "Open failed: System error [5](system error 5 (" + accessDenied + "))"},
        // Without a module: still the system's description.
        {"Open failed", nullptr, ERROR_ACCESS_DENIED, "System error",
         "Open failed. System error [5](system error 5 (" + accessDenied + "))"},
        {"", nullptr, 0x2000FFFFu, "System error",
         "System error [536936447](system error 536936447 (No description available))"},
        {"x", nullptr, 5, nullptr, "x. Some error [5](system error 5 (" + accessDenied + "))"},
    };
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const SysError e(tstrings::MessageBuilder() << cases[i].message, cases[i].function, cases[i].code,
                         cases[i].label);
        EXPECT_EQ(cases[i].text, e.what()) << "case " << i;
    }
}

// The message is built after the code is read: a call made while building
// it (here one that fails on its own) does not change the code raised.
TEST(WinErrorHandlingTest, RaiseSysErrorReadsTheLastErrorBeforeTheMessage) {
    const auto failAgain = [](DWORD code) {
        SetLastError(code);
        return "again";
    };
    const struct {
        DWORD before;
        DWORD during;
    } cases[] = {{ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}, {ERROR_FILE_NOT_FOUND, 0}};
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const int line = __LINE__ + 3;
        try {
            SetLastError(cases[i].before);
            RAISE_SYS_ERROR(&GetFileAttributesW, "Open " << failAgain(cases[i].during) << " failed");
            FAIL() << "no raise, case " << i;
        } catch (const VnError<SysError>& e) {
            const SysError expected(tstrings::MessageBuilder() << "Open again failed",
                                    reinterpret_cast<const void*>(&GetFileAttributesW), cases[i].before);
            EXPECT_EQ(std::string(expected.what()), e.plainMessage()) << "case " << i;
            const std::string located = "WinErrorHandlingTest.cpp(" + std::to_string(line) + ") at ";
            EXPECT_EQ(0u, std::string(e.what()).find(located)) << e.what();
        }
    }
}

TEST(WinErrorHandlingTest, FindModuleOfAddress) {
    EXPECT_EQ(GetModuleHandleW(L"kernel32.dll"), findModuleOfAddress(reinterpret_cast<const void*>(&GetFileAttributesW)));
    EXPECT_EQ(GetModuleHandleW(nullptr), findModuleOfAddress(reinterpret_cast<const void*>(&rawDescription)));
    EXPECT_EQ(nullptr, findModuleOfAddress(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(0x10))));
}

TEST(WinErrorHandlingTest, CrtErrorTextOfErrno) {
    errno = ENOENT;
    EXPECT_EQ("No such file or directory", crtErrorText());
    errno = 0;
    EXPECT_FALSE(crtErrorText().empty());
}

} // namespace
