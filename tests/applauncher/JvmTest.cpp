#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "CfgFile.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "SysInfo.h"
#include "TestSupport.h"

using testsupport::CapturedLog;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

// {tmp} stands for the test's directory, {app-path} for the argument that
// names the running program.
tstring_array expand(const tstring_array& pattern, const tstring& tmp) {
    const tstring appPath = L"-Dvarno.app-path=" + SysInfo::getProcessModulePath();
    tstring_array out;
    for (tstring s : pattern) {
        if (s == L"{app-path}") {
            out.push_back(appPath);
            continue;
        }
        for (size_t pos; (pos = s.find(L"{tmp}")) != tstring::npos;) {
            s.replace(pos, 5, tmp);
        }
        // The platform's path list separator: ';' on Windows, ':' on Linux.
        for (size_t pos; (pos = s.find(L"{sep}")) != tstring::npos;) {
            s.replace(pos, 5, 1, FileUtils::pathListSeparator);
        }
        out.push_back(s);
    }
    return out;
}

TEST(JvmInitFromConfigFile, BuildsTheArgumentVector) {
    struct Case {
        const char* name;
        std::string text;
        tstring_array expected;
        bool warned;
    };
    const Case cases[] = {
        {"nothing consulted", "[Application]\napp.runtime=r\napp.version=1\napp.memory=2\n"
                              "win.norestart=1\n[AppCDSJavaOptions]\njava-options=-Xa\n"
                              "[AppCDSGenerateCacheJavaOptions]\njava-options=-Xb\n",
         {L"{app-path}"}, false},
        {"the worked example",
         "[Application]\napp.classpath=a.jar\napp.classpath=b.jar\napp.mainclass=x.Main\n"
         "[JavaOptions]\njava-options=-Xmx512m\n[ArgOptions]\narguments=one\n",
         {L"-classpath", L"a.jar{sep}b.jar", L"-Xmx512m", L"{app-path}", L"x.Main", L"one"}, false},
        // One option for all values: the runtime keeps only the last of
        // several --module-path options.
        {"two module path values", "[Application]\napp.modulepath=m1\napp.modulepath=m2\n",
         {L"--module-path", L"m1{sep}m2", L"{app-path}"}, false},
        {"one class path value", "[Application]\napp.classpath=only.jar\n",
         {L"-classpath", L"only.jar", L"{app-path}"}, false},
        {"last values win",
         "[Application]\napp.mainclass=C1\napp.mainclass=C2\napp.mainmodule=M1\n"
         "app.mainmodule=M2\napp.mainjar=J1\napp.mainjar=J2\n",
         {L"{app-path}", L"-m", L"M2", L"C2", L"-jar", L"J2"}, false},
        {"module and jar", "[Application]\napp.mainjar=app.jar\napp.mainmodule=mod/x.Main\n",
         {L"{app-path}", L"-m", L"mod/x.Main", L"-jar", L"app.jar"}, false},
        {"options stay whole",
         "[JavaOptions]\njava-options=-Dname=a b\njava-options=\"-Dq=1\"\njava-options=\n",
         {L"-Dname=a b", L"\"-Dq=1\"", L"", L"{app-path}"}, false},
        {"existing splash file", "[Application]\napp.splash=nothing\napp.splash=$TMP/splash.png\n",
         {L"-splash:{tmp}/splash.png", L"{app-path}"}, false},
        {"splash directory", "[Application]\napp.splash=$TMP\n", {L"-splash:{tmp}", L"{app-path}"},
         false},
        {"missing splash file", "[Application]\napp.splash=$TMP/none.png\n", {L"{app-path}"}, true},
        {"names in the wrong section",
         "[JavaOptions]\napp.mainclass=X\narguments=a\n[Application]\njava-options=-Xy\n"
         "[ArgOptions]\napp.classpath=c\n",
         {L"{app-path}"}, false},
        {"everything in order",
         "[ArgOptions]\narguments=a1\narguments=a2\n[JavaOptions]\njava-options=-Xj\n"
         "[Application]\napp.mainjar=j.jar\napp.mainclass=Cls\napp.mainmodule=mod\n"
         "app.splash=$TMP/splash.png\napp.classpath=cp\napp.modulepath=mp\n",
         {L"--module-path", L"mp", L"-classpath", L"cp", L"-splash:{tmp}/splash.png", L"-Xj",
          L"{app-path}", L"-m", L"mod", L"Cls", L"-jar", L"j.jar", L"a1", L"a2"},
         false},
    };
    TempDir dir;
    dir.write("splash.png", "png");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CfgFile cfg = CfgFile::load(testsupport::toT(dir.write("x.cfg", c.text)))
                                .expandMacros({{L"TMP", testsupport::toT(dir.path())}});
        CapturedLog log;
        Jvm jvm;
        jvm.initFromConfigFile(cfg);
        EXPECT_EQ(jvm.getArguments(), expand(c.expected, testsupport::toT(dir.path())));
        const std::vector<tstring> warnings = log.messages(L"WARNING");
        if (c.warned) {
            EXPECT_EQ(warnings, std::vector<tstring>{L"Splash property ignored. File \"" +
                                                     testsupport::toT(dir.path()) + L"/none.png\" not found"});
            EXPECT_EQ(log.functions(L"WARNING"), std::vector<tstring>{L"Jvm::initFromConfigFile"});
        } else {
            EXPECT_TRUE(warnings.empty());
        }
    }
}

TEST(JvmInitFromConfigFile, AppendsAfterExistingArguments) {
    CfgFile cfg;
    cfg.setPropertyValue(CfgFile::application, CfgFile::mainclass, {L"M"});
    Jvm jvm;
    jvm.addArgument(L"program").initFromConfigFile(cfg);
    EXPECT_EQ(jvm.getArguments(), expand({L"program", L"{app-path}", L"M"}, L""));
}

TEST(Jvm, HasSplashOption) {
    struct Case {
        tstring_array args;
        bool expected;
    };
    const Case cases[] = {
        {{}, false},
        {{L"prog", L"-Xmx1g"}, false},
        {{L"prog", L"-splash:x.png"}, true},
        {{L"-splash:"}, true},
        {{L"prog", L"Main", L"-splash:in-app-args"}, true},
        {{L"prog", L"-SPLASH:x.png", L"-Splash:y"}, false},
        {{L"prog", L"-splash"}, false},
        {{L"prog", L" -splash:x"}, false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        Jvm jvm;
        for (const tstring& a : cases[i].args) {
            jvm.addArgument(a);
        }
        EXPECT_EQ(jvm.hasSplashOption(), cases[i].expected) << "case " << i;
    }
}

TEST(Jvm, AppliesEnvironmentVariablesInOrder) {
    ScopedEnv a("MORV_TEST_JVM_A", std::nullopt);
    ScopedEnv b("MORV_TEST_JVM_B", std::nullopt);
    Jvm jvm;
    jvm.addEnvVariable(L"MORV_TEST_JVM_A", L"first")
        .addEnvVariable(L"MORV_TEST_JVM_B", L"w\u00E9rt")
        .addEnvVariable(L"MORV_TEST_JVM_A", L"second");
    EXPECT_EQ(jvm.getEnvVarNames(),
              (tstring_array{L"MORV_TEST_JVM_A", L"MORV_TEST_JVM_B", L"MORV_TEST_JVM_A"}));
    EXPECT_EQ(jvm.getEnvVarValues(), (tstring_array{L"first", L"w\u00E9rt", L"second"}));
    jvm.applyEnvVariables();
    EXPECT_EQ(testsupport::getEnv("MORV_TEST_JVM_A"), std::string("second"));
    EXPECT_EQ(testsupport::getEnv("MORV_TEST_JVM_B"), std::string("w\xC3\xA9rt"));
}

TEST(Jvm, TracesItsLifetime) {
    CapturedLog log;
    tstring id;
    {
        Jvm jvm;
        id = (tstrings::MessageBuilder() << "Jvm(" << static_cast<const void*>(&jvm) << ")::").str();
    }
    EXPECT_EQ(log.messages(L"TRACE"), (std::vector<tstring>{id + L"Jvm()", id + L"~Jvm()"}));
    EXPECT_EQ(log.functions(L"TRACE"), (std::vector<tstring>{L"Jvm::Jvm", L"Jvm::~Jvm"}));
}

// An appender that fails for TRACE records and keeps the others.
class FailingTraceAppender : public LogAppender {
public:
    void append(const LogRecord& record) override {
        if (record.levelName == L"TRACE") {
            throw std::runtime_error("appender failed");
        }
        records.push_back(record);
    }
    std::vector<LogRecord> records;
};

TEST(Jvm, DestructorLetsNoFailureOfItsTraceOut) {
    FailingTraceAppender failing;
    LogAppender* const saved = LogRouter::instance().getAppender();
    {
        // Built while the appender works, so that only the destructor's
        // record fails.
        std::unique_ptr<Jvm> jvm(new Jvm());
        LogRouter::instance().setAppender(&failing);
        jvm.reset();
    }
    LogRouter::instance().setAppender(saved);
    ASSERT_EQ(failing.records.size(), 1u);
    EXPECT_EQ(failing.records[0].levelName, L"ERROR");
    EXPECT_EQ(failing.records[0].message, L"Exception with message 'appender failed' caught");
    EXPECT_EQ(failing.records[0].functionName, L"Jvm::~Jvm");
}

} // namespace
