#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "Dll.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "SysInfo.h"

namespace {

TEST(LinuxStringsTest, Utf32Conversions) {
    // wchar_t values that are no Unicode scalar value cannot be encoded,
    // except U+DC80..U+DCFF, which stand for the bytes of invalid sequences.
    const wchar_t bad[] = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xDFFF), static_cast<wchar_t>(0x110000)};
    for (std::size_t i = 0; i < sizeof(bad) / sizeof(bad[0]); ++i) {
        EXPECT_EQ("", tstrings::encodeUtf8(tstring(L"ok") + bad[i])) << "case " << i;
    }
    // The largest value of each sequence length, and the smallest.
    const struct {
        const char* utf8;
        std::uint32_t code;
    } edges[] = {{"\x7F", 0x7F},         {"\xC2\x80", 0x80},         {"\xDF\xBF", 0x7FF},
                 {"\xE0\xA0\x80", 0x800}, {"\xEF\xBF\xBF", 0xFFFF},   {"\xF0\x90\x80\x80", 0x10000},
                 {"\xF4\x8F\xBF\xBF", 0x10FFFF}};
    for (std::size_t i = 0; i < sizeof(edges) / sizeof(edges[0]); ++i) {
        const tstring decoded = tstrings::decodeUtf8(edges[i].utf8);
        ASSERT_EQ(1u, decoded.size()) << "case " << i;
        EXPECT_EQ(edges[i].code, static_cast<std::uint32_t>(decoded[0])) << "case " << i;
        EXPECT_EQ(edges[i].utf8, tstrings::encodeUtf8(decoded)) << "case " << i;
    }
    // Overlong forms of the same edges: each byte kept as U+DC00 + byte.
    const struct {
        const char* utf8;
        tstring escaped;
    } overlong[] = {{"\xC1\xBF", L"\xDCC1\xDCBF"},
                    {"\xE0\x9F\xBF", L"\xDCE0\xDC9F\xDCBF"},
                    {"\xF0\x8F\xBF\xBF", L"\xDCF0\xDC8F\xDCBF\xDCBF"}};
    for (std::size_t i = 0; i < sizeof(overlong) / sizeof(overlong[0]); ++i) {
        EXPECT_EQ(overlong[i].escaped, tstrings::decodeUtf8(overlong[i].utf8)) << "case " << i;
        EXPECT_EQ(overlong[i].utf8, tstrings::encodeUtf8(overlong[i].escaped)) << "case " << i;
    }
    // "ANSI" is UTF-8 here.
    EXPECT_EQ("\xC3\xA9", tstrings::encodeAnsi(L"\u00E9"));
}

TEST(LinuxSysInfoTest, ProcessFacts) {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe));
    ASSERT_GT(n, 0);
    EXPECT_EQ(tstrings::decodeUtf8(std::string(exe, static_cast<std::size_t>(n))), SysInfo::getProcessModulePath());
    // The program itself is the module holding the support library here.
    EXPECT_EQ(SysInfo::getProcessModulePath(), SysInfo::getCurrentModulePath());
}

TEST(LinuxSysInfoTest, EnvironmentThroughThePosixCalls) {
    ASSERT_EQ(0, setenv("MORV_LINUX_EMPTY", "", 1));
    EXPECT_TRUE(SysInfo::isEnvVariableSet(L"MORV_LINUX_EMPTY"));
    EXPECT_EQ(L"", SysInfo::getEnvVariable(nothrow, L"MORV_LINUX_EMPTY", L"dflt"));
    unsetenv("MORV_LINUX_EMPTY");
    EXPECT_FALSE(SysInfo::isEnvVariableSet(L"MORV_LINUX_EMPTY"));
    EXPECT_EQ(L"dflt", SysInfo::getEnvVariable(nothrow, L"MORV_LINUX_EMPTY", L"dflt"));

    SysInfo::setEnvVariable(L"MORV_LINUX_SET", L"\u4E2D");
    EXPECT_STREQ("\xE4\xB8\xAD", std::getenv("MORV_LINUX_SET"));
    // setenv refuses a name holding '='.
    try {
        SysInfo::setEnvVariable(L"A=B", L"v");
        FAIL() << "no raise";
    } catch (const VnError<SysError>& e) {
        const std::string expected = "SetEnvironmentVariable(A=B, v) failed. System error [" +
                                     std::to_string(EINVAL) + "](system error " + std::to_string(EINVAL) + " (";
        EXPECT_EQ(0u, std::string(e.plainMessage()).find(expected)) << e.plainMessage();
    }
}

// The message is built after errno is read: a call made while building it
// (here one that fails on its own) does not change the code raised.
TEST(LinuxErrorHandlingTest, RaiseSysErrorReadsErrnoBeforeTheMessage) {
    const auto failAgain = [](int code) {
        errno = code;
        return "again";
    };
    const struct {
        int before;
        int during;
    } cases[] = {{EACCES, ENOENT}, {ENOENT, 0}};
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const int line = __LINE__ + 3;
        try {
            errno = cases[i].before;
            RAISE_SYS_ERROR(&setenv, "Open " << failAgain(cases[i].during) << " failed");
            FAIL() << "no raise, case " << i;
        } catch (const VnError<SysError>& e) {
            const SysError expected(tstrings::MessageBuilder() << "Open again failed",
                                    reinterpret_cast<const void*>(&setenv),
                                    static_cast<std::uint32_t>(cases[i].before));
            EXPECT_EQ(std::string(expected.what()), e.plainMessage()) << "case " << i;
            const std::string located = "LinuxPlatformTest.cpp(" + std::to_string(line) + ") at ";
            EXPECT_EQ(0u, std::string(e.what()).find(located)) << e.what();
        }
    }
}

TEST(LinuxErrorHandlingTest, DescriptionsComeFromStrerror) {
    EXPECT_EQ(L"No such file or directory", describeSystemError(ENOENT, nullptr));
    errno = ENOENT;
    EXPECT_EQ("No such file or directory", crtErrorText());
    EXPECT_NE(nullptr, findModuleOfAddress(reinterpret_cast<const void*>(&setenv)));
    EXPECT_EQ(nullptr, findModuleOfAddress(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(0x10))));
}

TEST(LinuxDllTest, LoadLookUpAndShareReferences) {
    const tstring libm = L"libm.so.6";
    {
        Dll* original = new Dll(libm);
        typedef double (*Cos)(double);
        DllFunction<Cos> cosine(*original, L"cos");
        delete original;
        EXPECT_DOUBLE_EQ(1.0, static_cast<Cos>(cosine)(0.0));
        EXPECT_EQ(nullptr, Dll(libm).getFunction("no_such_function", false));
        try {
            DllFunction<Cos> missing(Dll(libm), L"no_such_function");
            FAIL() << "no raise";
        } catch (const VnError<std::runtime_error>& e) {
            const std::string text = e.plainMessage();
            EXPECT_EQ(0u, text.find("dlsym(libm.so.6, no_such_function) failed. ")) << text;
            EXPECT_NE(std::string::npos, text.find("no_such_function", 40)) << text;
        }
    }
    try {
        Dll missing(L"/nonexistent/libnothing.so");
        FAIL() << "no raise";
    } catch (const VnError<std::runtime_error>& e) {
        const std::string text = e.plainMessage();
        EXPECT_EQ(0u, text.find("dlopen(/nonexistent/libnothing.so) failed. /nonexistent/libnothing.so: ")) << text;
    }
}

} // namespace
