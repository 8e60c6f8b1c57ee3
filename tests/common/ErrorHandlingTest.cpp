#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "ErrorHandling.h"
#include "RecordingAppender.h"
#include "Toolbox.h"

namespace {

struct Demo {
    static void raise() { RAISE_ERROR(tstrings::MessageBuilder() << "Open failed " << 42); }
};

TEST(ErrorHandlingTest, FunctionNameCutsTheCompilerSignature) {
    struct Case {
        const char* compiler;
        const char* name;
    };
    const Case cases[] = {
        {"static CfgFile CfgFile::load(const tstring&)", "CfgFile::load"},
        {"CfgFile::load", "CfgFile::load"},
        {"void {anonymous}::launchApp()", "launchApp"},
        {"int {anonymous}::JliLaunchData::initJvmlLauncherData(void*) const",
         "JliLaunchData::initJvmlLauncherData"},
        {"void (anonymous namespace)::findJvmLib()", "findJvmLib"},
        {"int app::launch(const LaunchFunction&, LogAppender*)", "app::launch"},
        {"DllFunction<F>::operator F() const [with F = void* (*)(const wchar_t*)]", "DllFunction<F>::operator F"},
        {"std::map<std::basic_string<wchar_t>, int> Cfg::get(int) const", "Cfg::get"},
        {"Foo::~Foo()", "Foo::~Foo"},
        {"void Foo::operator()(int)", "Foo::operator()"},
        {"", ""},
    };
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        EXPECT_EQ(cases[i].name, functionName(cases[i].compiler)) << "case " << i;
    }
}

TEST(ErrorHandlingTest, LocatedMessageUsesTheLastPathComponent) {
    struct Case {
        const char* file;
        const char* shown;
    };
    const Case cases[] = {
        {"C:\\src\\demo\\Demo.src", "Demo.src"},
        {"/home/x/src/Demo.src", "Demo.src"},
        {"C:/src\\mixed/Demo.src", "Demo.src"},
        {"Demo.src", "Demo.src"},
    };
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const SourcePos pos{cases[i].file, "void Demo::run()", 40};
        const VnError<std::runtime_error> e(std::runtime_error("Open failed"), pos);
        EXPECT_EQ(std::string(cases[i].shown) + "(40) at Demo::run(): Open failed", e.what()) << "case " << i;
        EXPECT_STREQ("Open failed", e.plainMessage()) << "case " << i;
    }
}

TEST(ErrorHandlingTest, RaiseErrorCarriesItsPositionAndUtf8Text) {
    try {
        Demo::raise();
        FAIL() << "no raise";
    } catch (const VnErrorBase& e) {
        EXPECT_STREQ("Open failed 42", e.plainMessage());
        const std::runtime_error* re = dynamic_cast<const std::runtime_error*>(&e);
        ASSERT_NE(nullptr, re);
        // Demo::raise sits a few lines above this test.
        EXPECT_NE(std::string::npos, std::string(re->what()).find("ErrorHandlingTest.cpp("));
        EXPECT_NE(std::string::npos, std::string(re->what()).find(") at Demo::raise(): Open failed 42"))
            << re->what();
    }

    const std::string utf8 = "J\xC3\xBCrgen \xE4\xB8\xAD";
    try {
        RAISE_ERROR(tstrings::MessageBuilder() << "path " << tstrings::decodeUtf8(utf8));
    } catch (const VnError<std::runtime_error>& e) {
        EXPECT_EQ("path " + utf8, std::string(e.plainMessage()));
    }
    try {
        RAISE_ERROR(utf8);
    } catch (const VnError<std::runtime_error>& e) {
        EXPECT_EQ(utf8, std::string(e.plainMessage()));
    }
    try {
        RAISE_ERROR("literal");
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("(): literal"));
    }
}

TEST(ErrorHandlingTest, JoinMessagesChoosesTheSeparator) {
    struct Case {
        const char* first;
        const char* second;
        const char* joined;
    };
    const Case cases[] = {
        {"Open failed", "System error [5]", "Open failed. System error [5]"},
        {"Open failed.", "System error [5]", "Open failed. System error [5]"},
        {"Open failed:", "x", "Open failed: x"},
        {"a;", "x", "a; x"},
        {"a,", "x", "a, x"},
        {"a!", "x", "a! x"},
        {"a?", "x", "a? x"},
        {"a)", "x", "a). x"},
        {"Open failed. \t\r\n", "  x \n", "Open failed. x"},
        {"", "x", "x"},
        {" \t\n", "x", "x"},
        {"first", "", "first"},
        {"first.", "  \n", "first."},
        {"", "", ""},
    };
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        EXPECT_EQ(cases[i].joined, joinMessages(cases[i].first, cases[i].second)) << "case " << i;
    }
}

TEST(ErrorHandlingTest, SysErrorWithoutFunctionStillDescribesTheCode) {
    // No function: no module, but the description is still asked for.
    const SysError e(tstrings::MessageBuilder() << "Open failed", nullptr, 2);
    const std::string expected =
        "Open failed. System error [2](" + tstrings::encodeUtf8(systemErrorText(2, nullptr)) + ")";
    EXPECT_EQ(expected, e.what());

    const SysError noLabel(tstrings::MessageBuilder(), nullptr, 7, nullptr);
    EXPECT_EQ(0u, std::string(noLabel.what()).find("Some error [7]("));

    const std::string text = tstrings::encodeUtf8(systemErrorText(2, nullptr));
    EXPECT_EQ(0u, text.find("system error 2 ("));
    EXPECT_EQ(')', text.back());
}

TEST(ErrorHandlingTest, SysErrorForAnAddressInNoModuleWarnsAndDropsTheDescription) {
    CaptureLog log;
    // An address of no loaded module: the low page is never mapped.
    const void* nowhere = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(0x10));
    const SysError e(tstrings::MessageBuilder() << "Open failed", nowhere, 5);
    EXPECT_STREQ("Open failed. System error [5]", e.what());
    ASSERT_EQ(1u, log.records().size());
    const LogRecord& r = log.records()[0];
    EXPECT_EQ(L"WARNING", r.levelName);
    EXPECT_EQ(0u, r.message.find(L"GetModuleHandleEx() failed for "));
    EXPECT_TRUE(tstrings::hasSuffix(r.message, L" address."));
    EXPECT_EQ(L"makeMessage", r.functionName);
}

TEST(ErrorHandlingTest, VnSysErrorKeepsTheFullTextAsPlainMessage) {
    try {
        RAISE_ERROR(SysError(tstrings::MessageBuilder() << "Open failed", nullptr, 2));
    } catch (const VnError<SysError>& e) {
        const std::string plain = e.plainMessage();
        EXPECT_EQ(0u, plain.find("Open failed. System error [2](system error 2 ("));
        const std::string what = e.what();
        // The source position in front, then the full text.
        EXPECT_EQ(0u, what.find("ErrorHandlingTest.cpp(")) << what;
        EXPECT_NE(std::string::npos, what.find("Open failed. System error [2]")) << what;
        EXPECT_TRUE(tstrings::hasSuffix(tstrings::decodeUtf8(what), tstrings::decodeUtf8("(): " + plain)));
    }
}

TEST(ErrorHandlingTest, LogCaughtErrorWritesOneErrorRecordWithUtf8Text) {
    CaptureLog log;
    const SourcePos pos{"/src/app/Demo.src", "void Demo::run()", 17};
    logCaughtError(pos, std::runtime_error("bad \xC3\xA9 \xE4\xB8\xAD"));
    logUnknownError(pos);
    // A text that is not UTF-8 is kept byte by byte instead of vanishing.
    logCaughtError(pos, std::runtime_error("cp1252 \xE9"));
    ASSERT_EQ(3u, log.records().size());
    EXPECT_EQ(L"ERROR", log.records()[0].levelName);
    EXPECT_EQ(L"Demo.src", log.records()[0].fileName);
    EXPECT_EQ(17, log.records()[0].line);
    EXPECT_EQ(L"Demo::run", log.records()[0].functionName);
    EXPECT_EQ(L"Exception with message 'bad \u00E9 \u4E2D' caught", log.records()[0].message);
    EXPECT_EQ(L"Unknown exception caught", log.records()[1].message);
    EXPECT_EQ(L"Exception with message 'cp1252 \u00E9' caught", log.records()[2].message);
}

TEST(ErrorHandlingTest, ReportAndContinueSwallowsAndLogs) {
    CaptureLog log;
    const SourcePos pos = CURRENT_SOURCE_POS;
    bool ran = false;
    reportAndContinue(pos, [&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(log.records().empty());

    reportAndContinue(pos, [] { RAISE_ERROR("scope end failed"); });
    reportAndContinue(pos, [] { throw std::logic_error("not a runtime error"); });
    reportAndContinue(pos, [] { throw 42; });
    ASSERT_EQ(3u, log.records().size());
    EXPECT_NE(tstring::npos, log.records()[0].message.find(L"(): scope end failed' caught"));
    EXPECT_EQ(L"Unknown exception caught", log.records()[1].message);
    EXPECT_EQ(L"Unknown exception caught", log.records()[2].message);
}

TEST(ErrorHandlingTest, ReportAndReturnGivesTheResultOrTheFailureValue) {
    struct Case {
        const char* name;
        std::function<int()> body;
        int result;
        const wchar_t* record;
    };
    const Case cases[] = {
        {"returns", [] { return 7; }, 7, nullptr},
        {"raises", []() -> int { RAISE_ERROR("size failed"); }, -1, L"(): size failed' caught"},
        {"throws other", []() -> int { throw std::logic_error("logic"); }, -1, L"Unknown exception caught"},
    };
    const SourcePos pos{"/src/app/Demo.src", "int Demo::size() const", 23};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CaptureLog log;
        EXPECT_EQ(c.result, reportAndReturn(pos, -1, c.body));
        if (!c.record) {
            EXPECT_TRUE(log.records().empty());
            continue;
        }
        ASSERT_EQ(1u, log.records().size());
        EXPECT_EQ(L"ERROR", log.records()[0].levelName);
        EXPECT_EQ(L"Demo.src", log.records()[0].fileName);
        EXPECT_EQ(23, log.records()[0].line);
        EXPECT_EQ(L"Demo::size", log.records()[0].functionName);
        EXPECT_NE(tstring::npos, log.records()[0].message.find(c.record)) << tstrings::encodeUtf8(log.records()[0].message);
    }
}

TEST(ErrorHandlingTest, CaughtErrorTextDecodesUtf8AndKeepsOtherBytes) {
    struct Case {
        const char* text;
        const wchar_t* shown;
    };
    const Case cases[] = {
        {"plain", L"plain"},
        {"bad \xC3\xA9 \xE4\xB8\xAD", L"bad \u00E9 \u4E2D"},
        // Not UTF-8: each byte becomes the character of the same value.
        {"cp1252 \xE9", L"cp1252 \u00E9"},
        {"", L""},
        {nullptr, L""},
    };
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        EXPECT_EQ(tstring(cases[i].shown), caughtErrorText(cases[i].text)) << "case " << i;
    }
}

TEST(ErrorHandlingTest, RaiseSysErrorLocatesTheSysErrorAtTheGivenPosition) {
    const SourcePos pos{"C:\\src\\demo\\Demo.src", "void Demo::run()", 40};
    const std::string plain = SysError(tstrings::MessageBuilder() << "Open failed", nullptr, 2).what();
    try {
        raiseSysError(pos, nullptr, 2, tstrings::MessageBuilder() << "Open failed");
        FAIL() << "no raise";
    } catch (const VnError<SysError>& e) {
        EXPECT_EQ(plain, e.plainMessage());
        EXPECT_EQ("Demo.src(40) at Demo::run(): " + plain, e.what());
    }
}

TEST(ErrorHandlingTest, AtEndOfScopeRunsOnceAndNeverThrows) {
    CaptureLog log;
    int runs = 0;
    {
        AtEndOfScope guard([&] { ++runs; });
    }
    EXPECT_EQ(1, runs);
    {
        AtEndOfScope guard([&] { ++runs; });
        guard.cancel();
    }
    EXPECT_EQ(1, runs);
    EXPECT_NO_THROW({ AtEndOfScope guard([] { RAISE_ERROR("cleanup failed"); }); });
    ASSERT_EQ(1u, log.records().size());
    EXPECT_EQ(L"ERROR", log.records()[0].levelName);
    EXPECT_EQ(L"Toolbox.h", log.records()[0].fileName);
}

TEST(ErrorHandlingTest, CrtErrorTextDescribesErrno) {
    errno = ERANGE;
    const std::string range = crtErrorText();
    errno = EINVAL;
    const std::string invalid = crtErrorText();
    EXPECT_FALSE(range.empty());
    EXPECT_FALSE(invalid.empty());
    EXPECT_NE(range, invalid);
}

} // namespace
