#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Environment.h"
#include "TempDir.h"

namespace fs = std::filesystem;
using testsupport::ChildOptions;
using testsupport::ChildResult;
using testsupport::runChild;

namespace {

const std::string kChild = testsupport::besideThisProgram("support_child");

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

ChildResult runHelper(std::vector<std::string> args, ChildOptions options = ChildOptions()) {
    options.args = std::move(args);
    return runChild(kChild, options);
}

std::string describe(const ChildResult& r) {
    return "started " + std::to_string(r.started) + " (" + r.startError + "), exit code " +
           std::to_string(r.exitCode) + "\n--- out\n" + r.out.substr(0, 2000) + "\n--- err\n" +
           r.err.substr(0, 2000);
}

// Arguments a naive quoting splits, joins or changes on the way to a
// Windows child; elsewhere they pass as they are.
const std::vector<std::string> kHardArgs = {
    "",
    "plain",
    "two words",
    "tab\there",
    "line\nfeed",
    "\"",
    "\"\"",
    "say \"hi\"",
    "back\\\"slash quote",
    "C:\\My Dir\\",
    "C:\\NoBlank\\",
    "trailing two\\\\",
    "a\\\\b",
    "  ",
    "\xC3\xA9t\xC3\xA9 \xE4\xB8\xAD",
};

TEST(RunChild, ArgumentsArriveUnchangedAlsoFromAProgramPathWithABlank) {
    testsupport::TempDir dir("morv support");
    const fs::path copy = dir.path() / fs::u8path(kChild).filename();
    fs::copy_file(fs::u8path(kChild), copy);
    // Each list at once: a quote lost or swallowed on the way shows as a
    // neighbour split or joined.
    const std::vector<std::vector<std::string>> lists = {
        {}, {""}, {"before", "", "after"}, kHardArgs,
    };
    for (size_t i = 0; i < lists.size(); ++i) {
        const std::vector<std::string>& args = lists[i];
        SCOPED_TRACE("case " + std::to_string(i));
        std::vector<std::string> command{"args"};
        command.insert(command.end(), args.begin(), args.end());
        ChildOptions options;
        options.args = command;
        const ChildResult r = runChild(copy.u8string(), options);
        ASSERT_EQ(r.exitCode, 0) << describe(r);
        std::string expected;
        for (const std::string& a : args) {
            expected += a + std::string(1, '\0');
        }
        EXPECT_EQ(r.out, expected) << describe(r);
    }
}

TEST(RunChild, ExitCodeOfTheChild) {
    for (const int code : {0, 1, 42, 255}) {
        const ChildResult r = runHelper({"exit", std::to_string(code)});
        EXPECT_TRUE(r.started) << code;
        EXPECT_FALSE(r.timedOut) << code;
        EXPECT_EQ(r.exitCode, code);
    }
}

// Far more than a pipe holds, on both streams at once: reading them one
// after the other would leave the child blocked on the other.
TEST(RunChild, CapturesBothStreamsApartAndWhole) {
    struct Case {
        size_t out;
        size_t err;
        bool captureOut;
        bool captureErr;
    };
    const Case cases[] = {
        {0, 0, true, true},          {5, 0, true, true},          {0, 5, true, true},
        {300000, 400000, true, true}, {300000, 400000, false, true}, {300000, 400000, true, false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        ChildOptions options;
        options.captureOut = c.captureOut;
        options.captureErr = c.captureErr;
        const ChildResult r = runHelper({"write", std::to_string(c.out), std::to_string(c.err)}, options);
        ASSERT_EQ(r.exitCode, 0) << describe(r);
        EXPECT_EQ(r.out, std::string(c.captureOut ? c.out : 0, 'o'));
        EXPECT_EQ(r.err, std::string(c.captureErr ? c.err : 0, 'e'));
    }
}

TEST(RunChild, EnvironmentIsInheritedOrExactlyTheOneGiven) {
    testsupport::ScopedEnv parent;
    parent.set("MORV_SUPPORT_PARENT", std::string("from parent \xC3\xBC"))
        .set("MORV_SUPPORT_EMPTY", std::string(""))
        .set("MORV_SUPPORT_GONE", std::nullopt);
    const std::vector<std::string> query = {"env", "MORV_SUPPORT_PARENT", "MORV_SUPPORT_EMPTY",
                                            "MORV_SUPPORT_GONE", "MORV_SUPPORT_ONLY"};
    struct Case {
        const char* name;
        std::optional<testsupport::Environment> environment;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"inherited",
         std::nullopt,
         {"MORV_SUPPORT_PARENT=from parent \xC3\xBC", "MORV_SUPPORT_EMPTY=", "MORV_SUPPORT_GONE unset",
          "MORV_SUPPORT_ONLY unset"}},
        {"exact",
         testsupport::Environment{{"MORV_SUPPORT_ONLY", "only \xE4\xB8\xAD"}, {"MORV_SUPPORT_EMPTY", ""}},
         {"MORV_SUPPORT_PARENT unset", "MORV_SUPPORT_EMPTY=", "MORV_SUPPORT_GONE unset",
          "MORV_SUPPORT_ONLY=only \xE4\xB8\xAD"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChildOptions options;
        options.environment = c.environment;
        const ChildResult r = runHelper(query, options);
        ASSERT_EQ(r.exitCode, 0) << describe(r);
        EXPECT_EQ(lines(r.out), c.expected);
    }
}

TEST(RunChild, RunsInTheWorkingDirectoryGiven) {
    testsupport::TempDir dir("morv support cwd");
    // The directory is fresh: only there is this file found.
    dir.write("marker", "");
    ChildOptions options;
    options.workDir = dir.path().u8string();
    const ChildResult r = runHelper({"cwd"}, options);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 1u) << describe(r);
    EXPECT_TRUE(fs::exists(fs::u8path(out[0]) / "marker")) << out[0];
}

TEST(RunChild, WhileRunningSeesTheChildThatRuns) {
    unsigned long seen = 0;
    ChildOptions options;
    options.whileRunning = [&seen](const testsupport::RunningChild& child) { seen = child.pid; };
    const ChildResult r = runHelper({"pid"}, options);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(seen, 0u);
    EXPECT_EQ(seen, r.pid);
    EXPECT_EQ(lines(r.out), std::vector<std::string>{std::to_string(r.pid)});
}

#ifdef _WIN32
const long long kKilled = 99;
#else
const long long kKilled = 128 + 9;
#endif

TEST(RunChild, ChildIsKilledWhenItsTimeIsUp) {
    struct Case {
        const char* sleepMs;
        bool timedOut;
    };
    const Case cases[] = {{"0", false}, {"120000", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sleepMs);
        ChildOptions options;
        options.timeout = std::chrono::milliseconds(c.timedOut ? 300 : 60000);
        const ChildResult r = runHelper({"sleep", c.sleepMs}, options);
        EXPECT_EQ(r.timedOut, c.timedOut) << describe(r);
        EXPECT_EQ(r.exitCode, c.timedOut ? kKilled : 0);
    }
}

TEST(RunChild, MissingProgramDoesNotStart) {
    testsupport::TempDir dir;
    const ChildResult r = runChild((dir.path() / "missing").u8string());
    EXPECT_FALSE(r.started);
    EXPECT_NE(r.startError, "");
    EXPECT_EQ(r.exitCode, -1);
}

} // namespace
