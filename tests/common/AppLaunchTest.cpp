#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Environment.h"
#include "app.h"
#include "SysInfo.h"

namespace {

const char kPath[] = "C:\\Users\\J\xC3\xBCrgen\\\xE4\xB8\xAD-caf\xC3\xA9.cfg";

// `expected` with '#' standing for one or more digits, and "\n" for the
// platform's text line end.
bool matches(const std::string& text, const std::string& expected) {
    const std::string eol = testsupport::textLineEnd();
    std::size_t t = 0;
    for (std::size_t e = 0; e < expected.size(); ++e) {
        if (expected[e] == '#') {
            const std::size_t start = t;
            while (t < text.size() && std::isdigit(static_cast<unsigned char>(text[t]))) {
                ++t;
            }
            if (t == start) {
                return false;
            }
        } else if (expected[e] == '\n') {
            if (text.compare(t, eol.size(), eol) != 0) {
                return false;
            }
            t += eol.size();
        } else {
            if (t >= text.size() || text[t] != expected[e]) {
                return false;
            }
            ++t;
        }
    }
    return t == text.size();
}

const std::string kEntering = "[TRACE] app.cpp:#: Entering app::launch\n";
const std::string kExiting = "[TRACE] app.cpp:0: Exiting app::launch (entered at app.cpp:#)\n";

// app_launch_child with `args`, VARNO_DEBUG set to `debug` or unset.
testsupport::ChildResult runLaunchChild(const std::vector<std::string>& args, const char* debug) {
    testsupport::ScopedEnv env("VARNO_DEBUG", debug ? std::optional<std::string>(debug) : std::nullopt);
    testsupport::ChildOptions options;
    options.args = args;
    return testsupport::runChild(testsupport::besideThisProgram("app_launch_child"), options);
}

struct Case {
    const char* mode;
    const char* debug; // VARNO_DEBUG, null for unset
    int exitCode;
    std::string err;
};

TEST(AppLaunchTest, ExitCodeAndStandardError) {
    const std::string vnPlain = std::string("Cannot open ") + kPath;
    const std::string runtimeText = std::string("Plain failure at ") + kPath;
    const Case cases[] = {
        {"return", nullptr, 0, ""},
        {"return", "true", 0, kEntering + "[TRACE] app_launch_child.cpp:#: working\n" + kExiting},
        {"vnerror", nullptr, 1, vnPlain + "\n"},
        {"vnerror", "true", 1,
         kEntering + "[ERROR] app.cpp:#: Exception with message 'app_launch_child.cpp(#) at "
                     "failWithVnError(): " + vnPlain + "' caught\n" + vnPlain + "\n" + kExiting},
        // The exception's own text, not the C runtime's errno text.
        {"runtime", nullptr, 1, runtimeText + "\n"},
        {"runtime", "true", 1,
         kEntering + "[ERROR] app.cpp:#: Exception with message '" + runtimeText + "' caught\n" + runtimeText +
             "\n" + kExiting},
        {"logic", nullptr, 1, "Unknown error\n"},
        {"int", nullptr, 1, "Unknown error\n"},
        {"int", "true", 1, kEntering + "[ERROR] app.cpp:#: Unknown exception caught\nUnknown error\n" + kExiting},
        // Anything but exactly "true" is off.
        {"vnerror", "", 1, vnPlain + "\n"},
        {"vnerror", "TRUE", 1, vnPlain + "\n"},
        {"vnerror", "1", 1, vnPlain + "\n"},
        {"vnerror", "true ", 1, vnPlain + "\n"},
    };
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(std::string("case ") + std::to_string(i) + ": " + c.mode + ", VARNO_DEBUG " +
                     (c.debug ? "'" + std::string(c.debug) + "'" : std::string("unset")));
        const testsupport::ChildResult r = runLaunchChild({c.mode}, c.debug);
        EXPECT_EQ(c.exitCode, r.exitCode);
        EXPECT_TRUE(matches(r.err, c.err)) << "standard error:\n" << r.err << "\nexpected:\n" << c.err;
        EXPECT_EQ("", r.out);
    }
}

TEST(AppLaunchTest, ErrorAppenderSeesTheLastErrorText) {
    const testsupport::ChildResult r = runLaunchChild({"vnerror", "custom"}, nullptr);
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("", r.err);
    EXPECT_TRUE(matches(r.out, std::string("appender saw: Cannot open ") + kPath + "\n")) << r.out;

    const testsupport::ChildResult ok = runLaunchChild({"return", "custom"}, nullptr);
    EXPECT_EQ(0, ok.exitCode);
    EXPECT_EQ("", ok.out);
}

TEST(AppLaunchTest, IsDebugEnabledReadsTheVariableEveryTime) {
    const struct {
        const wchar_t* value;
        bool enabled;
    } cases[] = {{L"true", true}, {L"", false}, {L"TRUE", false}, {L"1", false}, {L"true ", false}, {L" true", false}};
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SysInfo::setEnvVariable(L"VARNO_DEBUG", cases[i].value);
        EXPECT_EQ(cases[i].enabled, app::isDebugEnabled()) << "case " << i;
    }
    SysInfo::setEnvVariable(L"VARNO_DEBUG", L"");
    EXPECT_EQ("", app::getLastErrorText());
}

} // namespace
