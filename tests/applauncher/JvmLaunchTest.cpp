#include <gtest/gtest.h>

#include "ErrorHandling.h"
#include "JliRecord.h"
#include "JvmLauncher.h"
#include "TestSupport.h"

using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

std::string plainMessageOf(const std::exception& e) {
    const VnErrorBase* vn = dynamic_cast<const VnErrorBase*>(&e);
    return vn ? vn->plainMessage() : std::string("(not a VnError) ") + e.what();
}

// The look-up call the platform layer names in its error.
#ifdef _WIN32
const std::string kLookUp = "GetProcAddress(";
const std::string kLoad = "LoadLibraryW(";
#else
const std::string kLookUp = "dlsym(";
const std::string kLoad = "dlopen(";
#endif

tstring libraryPath(const char* built) {
    tstring path = tstrings::decodeUtf8(built);
#ifdef _WIN32
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
#endif
    return path;
}

// Runs Jvm::launch against the test runtime with a record file of its own.
class LaunchWithTestRuntime : public testing::Test {
protected:
    LaunchWithTestRuntime()
        : record("MORV_TEST_JLI_RECORD", tstrings::encodeUtf8(testsupport::toT(dir.path() / "record"))),
          query("MORV_TEST_JLI_QUERY_ENV", std::string("MORV_TEST_LAUNCH_A;MORV_TEST_LAUNCH_B")),
          result("MORV_TEST_JLI_RESULT", std::nullopt),
          exitCode("MORV_TEST_JLI_EXIT", std::nullopt),
          a("MORV_TEST_LAUNCH_A", std::nullopt),
          b("MORV_TEST_LAUNCH_B", std::nullopt) {}

    std::vector<jlirecord::Call> calls() const { return jlirecord::readRecord(dir.path() / "record"); }

    TempDir dir;
    ScopedEnv record;
    ScopedEnv query;
    ScopedEnv result;
    ScopedEnv exitCode;
    ScopedEnv a;
    ScopedEnv b;
};

TEST_F(LaunchWithTestRuntime, PassesTheLaunchDataToJliLaunch) {
    Jvm jvm;
    jvm.setPath(libraryPath(MORV_TEST_JLI_FILE))
        .addArgument(L"C:\\app\\Demo.exe")
        .addArgument(L"-Dx=a b")
        .addArgument(L"")
        .addArgument(L"Main");
    jvm.addEnvVariable(L"MORV_TEST_LAUNCH_A", L"w\u00E9rt \u20AC")
        .addEnvVariable(L"MORV_TEST_LAUNCH_B", L"");
    jvm.launch();

    const std::vector<jlirecord::Call> recorded = calls();
    ASSERT_EQ(recorded.size(), 1u);
    const jlirecord::Call& c = recorded[0];
    EXPECT_EQ(c.argc, 4);
    const std::vector<std::optional<std::string>> args = {
        std::string("C:\\app\\Demo.exe"), std::string("-Dx=a b"), std::string(""),
        std::string("Main")};
    EXPECT_EQ(c.args, args);
    EXPECT_TRUE(c.argvNullTerminated);
    EXPECT_EQ(c.jargc, 0);
    EXPECT_TRUE(c.jargvNull);
    EXPECT_EQ(c.appclassc, 0);
    EXPECT_TRUE(c.appclassvNull);
    EXPECT_EQ(c.fullversion, std::string(""));
    EXPECT_EQ(c.dotversion, std::string(""));
    EXPECT_EQ(c.pname, std::string("java"));
    EXPECT_EQ(c.lname, std::string("java"));
    EXPECT_EQ(c.javaargs, 0);
    EXPECT_EQ(c.cpwildcard, 0);
    EXPECT_EQ(c.javaw, 0);
    EXPECT_EQ(c.ergo, 0);
    const std::map<std::string, std::optional<std::string>> env = {
        {"MORV_TEST_LAUNCH_A", std::string("w\xC3\xA9rt \xE2\x82\xAC")},
        {"MORV_TEST_LAUNCH_B", std::string("")},
    };
    EXPECT_EQ(c.env, env);
}

TEST_F(LaunchWithTestRuntime, ZeroArgumentsStillEndInNull) {
    Jvm jvm;
    jvm.setPath(libraryPath(MORV_TEST_JLI_FILE));
    jvm.launch();
    const std::vector<jlirecord::Call> recorded = calls();
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].argc, 0);
    EXPECT_TRUE(recorded[0].args.empty());
    EXPECT_TRUE(recorded[0].argvNullTerminated);
    EXPECT_EQ(recorded[0].env.at("MORV_TEST_LAUNCH_A"), std::nullopt);
}

TEST_F(LaunchWithTestRuntime, NonZeroResultFails) {
    for (const char* code : {"1", "-1", "255"}) {
        SCOPED_TRACE(code);
        result.set("MORV_TEST_JLI_RESULT", std::string(code));
        Jvm jvm;
        jvm.setPath(libraryPath(MORV_TEST_JLI_FILE)).addArgument(L"prog");
        try {
            jvm.launch();
            ADD_FAILURE() << "no error raised";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(plainMessageOf(e), "Failed to launch JVM");
            EXPECT_NE(std::string(e.what()).find("Jvm::launch(): "), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(calls().size(), 3u);
}

TEST_F(LaunchWithTestRuntime, NoEnvironmentChangeWhenTheEntryPointIsMissing) {
    struct Case {
        const char* name;
        tstring path;
        std::string expectedStart;
    };
    const tstring nojli = libraryPath(MORV_TEST_NOJLI_FILE);
    const tstring missing = testsupport::toT(dir.path() / "no-such-jli.lib");
    const Case cases[] = {
        {"library without JLI_Launch", nojli,
         kLookUp + tstrings::encodeUtf8(nojli) + ", JLI_Launch) failed"},
        {"library that does not exist", missing,
         kLoad + tstrings::encodeUtf8(missing) + ") failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Jvm jvm;
        jvm.setPath(c.path).addArgument(L"prog").addEnvVariable(L"MORV_TEST_LAUNCH_A", L"set");
        try {
            jvm.launch();
            ADD_FAILURE() << "no error raised";
        } catch (const std::runtime_error& e) {
            const std::string message = plainMessageOf(e);
            EXPECT_EQ(message.compare(0, c.expectedStart.size(), c.expectedStart), 0) << message;
        }
        EXPECT_EQ(testsupport::getEnv("MORV_TEST_LAUNCH_A"), std::nullopt);
    }
    EXPECT_TRUE(calls().empty());
}

TEST_F(LaunchWithTestRuntime, TracesTheLaunchDataWithDebugSwitch) {
    ScopedEnv debug("VARNO_DEBUG", std::string("true"));
    Jvm jvm;
    jvm.setPath(libraryPath(MORV_TEST_JLI_FILE)).addArgument(L"prog").addArgument(L"x y");
    jvm.addEnvVariable(L"MORV_TEST_LAUNCH_A", L"\u00E9\u65E5");
    testing::internal::CaptureStderr();
    jvm.launch();
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string expected = "jli lib: [" + tstrings::encodeUtf8(jvm.getPath()) +
                                 "]\njli arg[0]: [prog]\njli arg[1]: [x y]\n"
                                 "env var[0]: MORV_TEST_LAUNCH_A=[\xC3\xA9\xE6\x97\xA5]\n";
    EXPECT_NE(err.find(expected), std::string::npos) << err;
}

TEST_F(LaunchWithTestRuntime, TracesTheLaunchSteps) {
    Jvm jvm;
    jvm.setPath(libraryPath(MORV_TEST_JLI_FILE)).addArgument(L"prog");
    // Header, path with its NUL, two argument pointers, "prog" with its NUL.
    const std::string size =
        std::to_string(40 + tstrings::encodeUtf8(jvm.getPath()).size() + 1 + 16 + 5);
    testsupport::CapturedLog log;
    jvm.launch();
    const std::vector<tstring> messages = log.messages(L"TRACE");
    ASSERT_EQ(messages.size(), 4u);
    // Measured by the size query, measured again before writing, written.
    const tstring need = tstrings::decodeUtf8("Need " + size + " bytes for JvmlLauncherData buffer");
    EXPECT_EQ(messages[0], need);
    EXPECT_EQ(messages[1], need);
    const tstring initialized = tstrings::decodeUtf8("Initialized " + size + " bytes at ");
    EXPECT_TRUE(tstrings::hasPrefix(messages[2], initialized)) << tstrings::encodeUtf8(messages[2]);
    EXPECT_TRUE(tstrings::hasSuffix(messages[2], L" address")) << tstrings::encodeUtf8(messages[2]);
    EXPECT_GT(messages[2].size(), initialized.size() + 8);
    EXPECT_EQ(messages[3], L"JVM library: \"" + jvm.getPath() + L"\"");
    const std::vector<tstring> functions = {
        L"JliLaunchData::initJvmlLauncherData", L"JliLaunchData::initJvmlLauncherData",
        L"JliLaunchData::initJvmlLauncherData", L"Jvm::launch"};
    EXPECT_EQ(log.functions(L"TRACE"), functions);
}

TEST_F(LaunchWithTestRuntime, RuntimeCanEndTheProcess) {
    exitCode.set("MORV_TEST_JLI_EXIT", std::string("7"));
    Jvm jvm;
    jvm.setPath(libraryPath(MORV_TEST_JLI_FILE)).addArgument(L"prog");
    EXPECT_EXIT(jvm.launch(), testing::ExitedWithCode(7), "");
    exitCode.set("MORV_TEST_JLI_EXIT", std::nullopt);
}

} // namespace
