// The real morv starting the system's real Java runtime. Each test lays out
// an application image in a temporary directory (a copy of morv, app/morv.cfg,
// the probe application's jars, runtime -> the JDK) and runs the launcher as
// a child process; the probe prints what it received.

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "Environment.h"
#include "TempDir.h"

namespace fs = std::filesystem;
using testsupport::ChildResult;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

typedef testsupport::Environment Env;

// "key=value" lines of the probe's report; a key may repeat ("arg").
std::vector<std::string> reportValues(const std::string& out, const std::string& key) {
    std::vector<std::string> values;
    std::istringstream lines(out);
    std::string line;
    const std::string prefix = key + "=";
    while (std::getline(lines, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            values.push_back(line.substr(prefix.size()));
        }
    }
    return values;
}

std::string reportValue(const std::string& out, const std::string& key) {
    const std::vector<std::string> values = reportValues(out, key);
    return values.size() == 1 ? values[0] : "<" + std::to_string(values.size()) + " values>";
}

std::vector<std::string> splitList(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const std::string::size_type end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

void writeFile(const fs::path& path, const std::string& content) {
    ASSERT_TRUE(testsupport::writeFile(path, content)) << path;
}

std::string describe(const ChildResult& r) {
    return (r.started ? "" : "not started: " + r.startError + "\n") + "exit code " +
           std::to_string(r.exitCode) + "\n--- stdout\n" + r.out +
           "--- stderr\n" + r.err;
}

const std::string kJavaHome = MORV_E2E_JAVA_HOME;

// A class path of two jars, the probe's main class and two arguments.
const char* const kClassPathCfg =
    "[Application]\n"
    "app.classpath=$APPDIR/probe-main.jar\n"
    "app.classpath=$APPDIR/probe-helper.jar\n"
    "app.mainclass=probe.Main\n"
    "[ArgOptions]\n"
    "arguments=one\n"
    "arguments=two words\n";

class LinuxLauncherE2e : public ::testing::Test {
protected:
    // The probe's jars are built with the test; every case copies them.
    static void SetUpTestSuite() {
        suiteTemp.reset(new testsupport::TempDir("morv-e2e"));
        suiteDir = suiteTemp->path();
    }

    static void TearDownTestSuite() { suiteTemp.reset(); }

    void SetUp() override {
        ASSERT_FALSE(suiteDir.empty());
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->name());
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        root = suiteDir / ("image-" + name);
        fs::remove_all(root);
        appDir = root / "app";
        fs::create_directories(appDir);
        launcher = root / "morv";
        fs::copy_file(MORV_E2E_LAUNCHER, launcher);
        fs::create_directory_symlink(kJavaHome, root / "runtime");
        fs::copy(MORV_E2E_PROBE_JARS, appDir, fs::copy_options::recursive);
        home = root / "home";
        fs::create_directories(home);
    }

    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    void writeCfg(const std::string& text) { writeFile(appDir / "morv.cfg", text); }

    // The environment every case starts from: the test's own, without what
    // would change the launch, with a UTF-8 locale (the JVM decodes its
    // arguments by the locale) and a home directory inside the image.
    Env baseEnv() const {
        Env env = testsupport::currentEnvironment();
        for (const char* name : {"VARNO_DEBUG", "LD_LIBRARY_PATH", "XDG_CONFIG_HOME",
                                 "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS",
                                 "CLASSPATH", "LANG", "LANGUAGE"}) {
            env.erase(name);
        }
        env["LC_ALL"] = "C.UTF-8";
        env["HOME"] = home.string();
        env["ASAN_OPTIONS"] = MORV_E2E_CHILD_ASAN_OPTIONS;
        return env;
    }

    ChildResult runMorv(const std::vector<std::string>& args = {}) const {
        return runMorv(args, baseEnv());
    }

    ChildResult runMorv(const std::vector<std::string>& args, const Env& env) const {
        return runIn(launcher.string(), args, env);
    }

    // `program` with exactly `env`, in the image root.
    ChildResult runIn(const std::string& program, const std::vector<std::string>& args,
                      const Env& env) const {
        testsupport::ChildOptions options;
        options.args = args;
        options.environment = env;
        options.workDir = root.string();
        return testsupport::runChild(program, options);
    }

    static std::unique_ptr<testsupport::TempDir> suiteTemp;
    static fs::path suiteDir;
    fs::path root;
    fs::path appDir;
    fs::path launcher;
    fs::path home;
};

std::unique_ptr<testsupport::TempDir> LinuxLauncherE2e::suiteTemp;
fs::path LinuxLauncherE2e::suiteDir;

TEST_F(LinuxLauncherE2e, MainClassGetsConfiguredArgumentsAndTwoJarClassPath) {
    writeCfg(kClassPathCfg);
    const ChildResult r = runMorv();
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.err, "") << describe(r);
    EXPECT_EQ(reportValue(r.out, "main"), "probe.Main");
    EXPECT_EQ(reportValue(r.out, "module"), "(unnamed)");
    EXPECT_THAT(reportValues(r.out, "arg"), ElementsAre("one", "two words"));
    // The helper class is only in the second jar.
    EXPECT_EQ(reportValue(r.out, "helper"), (appDir / "probe-helper.jar").string());
    EXPECT_EQ(reportValue(r.out, "prop.java.class.path"),
              (appDir / "probe-main.jar").string() + ":" + (appDir / "probe-helper.jar").string());
}

TEST_F(LinuxLauncherE2e, CommandLineArgumentsReplaceConfiguredOnes) {
    writeCfg(kClassPathCfg);
    const std::vector<std::vector<std::string>> cases = {
        {"x"},
        // One empty argument replaces the configured ones by one empty value.
        {""},
        {"two words", "\"quoted\"", "it's", "tab\there", "back\\slash\\", "grüße €", "日本語",
         "", "-version", "--module-path", "@argfile", "$APPDIR", "a=b"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const ChildResult r = runMorv(cases[i]);
        ASSERT_EQ(r.exitCode, 0) << describe(r);
        EXPECT_EQ(reportValue(r.out, "argc"), std::to_string(cases[i].size()));
        EXPECT_THAT(reportValues(r.out, "arg"), ElementsAreArray(cases[i]));
    }
}

TEST_F(LinuxLauncherE2e, JavaOptionsReachTheJvmWhole) {
    writeCfg(std::string(kClassPathCfg) +
             "[JavaOptions]\n"
             "java-options=-Dprobe.flag=on\n"
             "java-options=-Dprobe.blank=two  words and more\n"
             "java-options=-Xss2m\n");
    const ChildResult r = runMorv();
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(reportValue(r.out, "prop.probe.flag"), "on");
    EXPECT_EQ(reportValue(r.out, "prop.probe.blank"), "two  words and more");
    EXPECT_THAT(reportValues(r.out, "arg"), ElementsAre("one", "two words"));
}

TEST_F(LinuxLauncherE2e, AppPathPropertyIsTheLauncherPath) {
    writeCfg(kClassPathCfg);
    // Started through a relative path from inside the image: the property is
    // still the absolute path of the launcher.
    const ChildResult r = runIn("./morv", {}, baseEnv());
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(reportValue(r.out, "prop.varno.app-path"), launcher.string());
}

TEST_F(LinuxLauncherE2e, ModulePathWithMainModule) {
    const std::string mods = (appDir / "mods").string();
    const std::string empty = (appDir / "no-mods").string();
    fs::create_directories(empty);
    // The runtime keeps only the last of several --module-path options: a
    // module in the first of two entries is found only when both reach it
    // as one list.
    const std::vector<std::vector<std::string>> cases = {
        {"$APPDIR/mods"},
        {"$APPDIR/mods", "$APPDIR/no-mods"},
        {"$APPDIR/no-mods", "$APPDIR/mods"},
    };
    const std::vector<std::string> expectedPath = {mods, mods + ":" + empty, empty + ":" + mods};
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        std::string cfg = "[Application]\n";
        for (const std::string& entry : cases[i]) {
            cfg += "app.modulepath=" + entry + "\n";
        }
        writeCfg(cfg + "app.mainmodule=probe/probe.Main\n"
                       "[ArgOptions]\n"
                       "arguments=in module\n");
        const ChildResult r = runMorv();
        ASSERT_EQ(r.exitCode, 0) << describe(r);
        EXPECT_EQ(reportValue(r.out, "main"), "probe.Main");
        EXPECT_EQ(reportValue(r.out, "module"), "probe");
        EXPECT_EQ(reportValue(r.out, "helper"), (appDir / "mods" / "probe.jar").string());
        EXPECT_EQ(reportValue(r.out, "prop.jdk.module.path"), expectedPath[i]);
        EXPECT_THAT(reportValues(r.out, "arg"), ElementsAre("in module"));
    }
}

TEST_F(LinuxLauncherE2e, MainJar) {
    writeCfg("[Application]\n"
             "app.mainjar=$APPDIR/probe-all.jar\n");
    const ChildResult r = runMorv({"from", "jar"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(reportValue(r.out, "main"), "probe.Main");
    EXPECT_EQ(reportValue(r.out, "module"), "(unnamed)");
    EXPECT_EQ(reportValue(r.out, "prop.java.class.path"), (appDir / "probe-all.jar").string());
    EXPECT_THAT(reportValues(r.out, "arg"), ElementsAre("from", "jar"));
}

TEST_F(LinuxLauncherE2e, ExitCodeOfTheApplication) {
    for (const int code : {7, 255}) {
        SCOPED_TRACE("exit code " + std::to_string(code));
        writeCfg(std::string(kClassPathCfg) + "[JavaOptions]\njava-options=-Dprobe.exit=" +
                 std::to_string(code) + "\n");
        const ChildResult r = runMorv();
        EXPECT_EQ(r.exitCode, code) << describe(r);
        EXPECT_EQ(reportValue(r.out, "main"), "probe.Main");
    }
}

TEST_F(LinuxLauncherE2e, LibrarySearchVariableListsTheAppDir) {
    writeCfg(kClassPathCfg);
    const std::string app = appDir.string();
    struct Case {
        const char* name;
        bool set;
        std::string value;
        // The leading entries of java.library.path, which the JVM starts
        // with the entries of LD_LIBRARY_PATH.
        std::vector<std::string> expectedHead;
    };
    const std::vector<Case> cases = {
        // No empty entry in front: an empty entry would stand for the
        // current directory.
        {"unset", false, "", {app}},
        {"empty", true, "", {app}},
        {"other directory", true, "/opt/morv-e2e", {"/opt/morv-e2e", app}},
        // Already listed: left as it is, so the app directory appears once.
        {"already listed", true, app + ":/opt/morv-e2e", {app, "/opt/morv-e2e"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Env env = baseEnv();
        if (c.set) {
            env["LD_LIBRARY_PATH"] = c.value;
        }
        const ChildResult r = runMorv({}, env);
        ASSERT_EQ(r.exitCode, 0) << describe(r);
        const std::vector<std::string> entries =
            splitList(reportValue(r.out, "prop.java.library.path"), ':');
        ASSERT_GE(entries.size(), c.expectedHead.size()) << describe(r);
        EXPECT_EQ(std::vector<std::string>(entries.begin(),
                                           entries.begin() + c.expectedHead.size()),
                  c.expectedHead)
            << describe(r);
        EXPECT_EQ(std::count(entries.begin(), entries.end(), app), 1) << describe(r);
    }
}

// Arguments and environment values are bytes here that need not be UTF-8,
// and a backslash is an ordinary character of a file name. (The image's own
// path stays UTF-8: the JVM could not load its classes from anything else.)
TEST_F(LinuxLauncherE2e, BytesThatAreNotUtf8AndBackslashesReachTheJvmUnchanged) {
    const fs::path moved = suiteDir / "image back\\slash";
    fs::remove_all(moved);
    fs::rename(root, moved);
    root = moved;
    appDir = root / "app";
    launcher = root / "morv";
    home = root / "home";
    writeCfg(kClassPathCfg);
    Env env = baseEnv();
    env["VARNO_DEBUG"] = "true";
    env["LD_LIBRARY_PATH"] = "/opt/m\xFCller";
    const ChildResult r = runMorv({"M\xFCller", "plain"}, env);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const std::vector<std::string> args = reportValues(r.out, "arg");
    ASSERT_EQ(args.size(), 2u) << describe(r);
    EXPECT_NE(args[0], "") << describe(r);
    EXPECT_EQ(args[1], "plain");
    // The launch data as handed to the runtime, byte for byte.
    EXPECT_THAT(r.err, HasSubstr("]: [M\xFCller]\n"));
    EXPECT_THAT(r.err, HasSubstr("]: [-Dvarno.app-path=" + launcher.string() + "]\n"));
    EXPECT_THAT(r.err,
                HasSubstr("LD_LIBRARY_PATH=[/opt/m\xFCller:" + appDir.string() + "]\n"));
}

TEST_F(LinuxLauncherE2e, PerUserConfigurationOfThePackage) {
    auto userCfg = [](const char* argument) {
        return std::string("[Application]\n"
                           "app.classpath=$APPDIR/probe-main.jar\n"
                           "app.classpath=$APPDIR/probe-helper.jar\n"
                           "app.mainclass=probe.Main\n"
                           "[ArgOptions]\n"
                           "arguments=") +
               argument + "\n";
    };
    writeCfg(userCfg("from-app"));
    const fs::path xdg = root / "xdg";
    writeFile(xdg / "morv-e2e" / "morv.cfg", userCfg("from-xdg"));
    writeFile(home / ".config" / "morv-e2e" / "morv.cfg", userCfg("from-home"));
    const fs::path emptyXdg = root / "empty-xdg";
    fs::create_directories(emptyXdg);

    struct Case {
        const char* name;
        const char* packageFile;  // null: no package file
        // Null: unset; "" empty; "@relative" a relative path; otherwise a
        // directory of the image.
        const char* xdgConfigHome;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"XDG_CONFIG_HOME wins", "morv-e2e\n", "xdg", "from-xdg"},
        {"HOME without XDG_CONFIG_HOME", "morv-e2e\n", nullptr, "from-home"},
        {"empty XDG_CONFIG_HOME", "morv-e2e\n", "", "from-home"},
        // One per-user directory only: a miss there goes to the app directory.
        {"not in XDG_CONFIG_HOME", "morv-e2e\n", "empty-xdg", "from-app"},
        {"relative XDG_CONFIG_HOME", "morv-e2e\n", "@relative", "from-home"},
        {"no package file", nullptr, "xdg", "from-app"},
        {"empty package name", "\nmorv-e2e\n", "xdg", "from-app"},
        {"other package", "morv-other\n", "xdg", "from-app"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(appDir / ".package");
        if (c.packageFile) {
            writeFile(appDir / ".package", c.packageFile);
        }
        Env env = baseEnv();
        if (c.xdgConfigHome) {
            const std::string xdgValue = c.xdgConfigHome;
            if (xdgValue == "@relative") {
                // The process runs in the image root, where "xdg" would
                // resolve; a relative value is to be ignored all the same.
                env["XDG_CONFIG_HOME"] = "xdg";
            } else {
                env["XDG_CONFIG_HOME"] = xdgValue.empty() ? "" : (root / xdgValue).string();
            }
        }
        const ChildResult r = runMorv({}, env);
        ASSERT_EQ(r.exitCode, 0) << describe(r);
        EXPECT_THAT(reportValues(r.out, "arg"), ElementsAre(c.expected)) << describe(r);
    }
}

TEST_F(LinuxLauncherE2e, FailuresEndWithCodeOneAndTheirText) {
    enum Stage { BeforeJvm, InRuntime, InMain };
    struct Case {
        const char* name;
        std::string cfg;  // empty: no configuration file
        bool runtime;
        Stage stage;
        // The last line of standard error; before the JVM started, the only
        // one: the plain text of the launcher's failure.
        std::string expectedPrefix;
    };
    const std::vector<Case> cases = {
        // The runtime reports a main class it cannot load itself and ends
        // the process with System.exit(1): JLI_Launch never returns then.
        {"missing main class",
         "[Application]\napp.classpath=$APPDIR/probe-main.jar\napp.mainclass=probe.Missing\n",
         true, InRuntime, "Caused by: java.lang.ClassNotFoundException: probe.Missing"},
        // An exception out of main makes JLI_Launch return 1.
        {"main throws",
         std::string(kClassPathCfg) + "[JavaOptions]\njava-options=-Dprobe.throw=yes\n", true,
         InMain, "Failed to launch JVM"},
        {"no runtime", kClassPathCfg, false, BeforeJvm,
         "Failed to find JVM in \"" + (root / "runtime").string() + "\" directory."},
        {"runtime named by the configuration does not exist",
         "[Application]\napp.runtime=$ROOTDIR/elsewhere\napp.classpath=$APPDIR/probe-main.jar\n"
         "app.mainclass=probe.Main\n",
         true, BeforeJvm,
         "Failed to find JVM in \"" + (root / "elsewhere").string() + "\" directory."},
        {"no configuration file", "", true, BeforeJvm,
         "Error opening \"" + (appDir / "morv.cfg").string() + "\" file: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(appDir / "morv.cfg");
        if (!c.cfg.empty()) {
            writeCfg(c.cfg);
        }
        fs::remove(root / "runtime");
        if (c.runtime) {
            fs::create_directory_symlink(kJavaHome, root / "runtime");
        }
        const ChildResult r = runMorv();
        EXPECT_EQ(r.exitCode, 1) << describe(r);
        EXPECT_EQ(reportValue(r.out, "main") == "probe.Main", c.stage == InMain) << describe(r);
        ASSERT_FALSE(r.err.empty());
        ASSERT_EQ(r.err.back(), '\n') << describe(r);
        const std::string body = r.err.substr(0, r.err.size() - 1);
        const std::string lastLine = body.substr(body.find_last_of('\n') + 1);
        EXPECT_THAT(lastLine, StartsWith(c.expectedPrefix)) << describe(r);
        if (c.expectedPrefix.back() != ' ') {
            EXPECT_EQ(lastLine, c.expectedPrefix) << describe(r);
        }
        if (c.stage == BeforeJvm) {
            EXPECT_EQ(body.find('\n'), std::string::npos) << describe(r);
        }
    }
}

TEST_F(LinuxLauncherE2e, DebugTraceOnStandardError) {
    writeCfg(kClassPathCfg);
    Env env = baseEnv();
    env["VARNO_DEBUG"] = "true";
    const ChildResult r = runMorv({"traced"}, env);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_THAT(reportValues(r.out, "arg"), ElementsAre("traced"));
    EXPECT_THAT(r.err, HasSubstr("Launcher config file path: \""));
    EXPECT_THAT(r.err, HasSubstr("jli arg[0]: [" + launcher.string() + "]"));
    EXPECT_THAT(r.err, HasSubstr("jli arg[1]: [-classpath]"));
    EXPECT_THAT(r.err, HasSubstr("env var[0]: LD_LIBRARY_PATH=["));

    // Any other spelling of the switch leaves standard error silent.
    for (const char* value : {"TRUE", "1", "true "}) {
        SCOPED_TRACE(value);
        env["VARNO_DEBUG"] = value;
        const ChildResult quiet = runMorv({}, env);
        ASSERT_EQ(quiet.exitCode, 0) << describe(quiet);
        EXPECT_EQ(quiet.err, "") << describe(quiet);
    }
}

} // namespace
