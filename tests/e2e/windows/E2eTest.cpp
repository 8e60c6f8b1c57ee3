// The real morv.exe under Wine, started on application images laid out in
// temporary directories. No display: an error message box returns at once.

#include "WinApi.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "JliRecord.h"
#include "LaunchImage.h"

namespace {

using e2e::LaunchImage;
using testsupport::ChildResult;
using testsupport::ScopedEnv;

const std::vector<std::wstring> hardArgs = {
    L"plain",
    L"two words",
    L"tab\there",
    L"",
    L"C:\\My Dir\\",
    L"C:\\NoBlank\\",
    L"\"",
    L"\"already quoted\"",
    L"say \"hi\"",
    L"back\\\"slash",
    L"a\\\\b c\\\\",
    L"\xE9t\xE9 \x00FCber",
    L"C:\\Users\\\x674E\x660E",
    L"\x6587\x4EF6 \x5939\\",
};

class E2e : public ::testing::Test {
protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        image.reset(new LaunchImage(info->name()));
        recordPath = image->root / L"record.txt";
        probeRecordPath = image->root / L"probe.txt";
        eventsPath = image->root / L"events.txt";
        environment.set(L"VARNO_DEBUG", std::nullopt)
            .set(L"MORV_TEST_JLI_RECORD", recordPath.wstring())
            .set(L"MORV_TEST_JLI_QUERY_ENV", std::wstring(L"PATH"))
            .set(L"MORV_TEST_JLI_EXIT", std::nullopt)
            .set(L"MORV_TEST_JLI_RESULT", std::nullopt)
            .set(L"MORV_PROBE_RECORD", probeRecordPath.wstring())
            .set(L"MORV_PROBE_EVENTS", eventsPath.wstring())
            .set(L"MORV_PROBE_SLEEP", std::nullopt)
            .set(L"MORV_PROBE_RESULT", std::nullopt);
    }

    void TearDown() override { image.reset(); }

    ChildResult launch(const std::vector<std::wstring>& args = {}) {
        return e2e::run(image->launcher(), args);
    }

    std::vector<jlirecord::Call> calls() const { return jlirecord::readRecord(recordPath); }

    // PATH with the application directory already in it: the direct path.
    void listAppDirInPath(ScopedEnv& env) const {
        env.set(L"PATH", testsupport::getEnv(L"PATH").value_or(L"") + L";" + image->appDir().wstring());
    }

    std::unique_ptr<LaunchImage> image;
    std::filesystem::path recordPath;
    std::filesystem::path probeRecordPath;
    std::filesystem::path eventsPath;
    ScopedEnv environment;
};

// The JVM arguments the launcher adds in front of the application arguments
// for a configuration without JVM options or main entry.
std::vector<std::string> fixedJvmArgs(const LaunchImage& image) {
    const std::string launcher = testsupport::utf8(image.launcher().wstring());
    return {launcher, "-Dvarno.app-path=" + launcher};
}

TEST_F(E2e, RestartRunsTheChildInAJobWithTheAppDirInPath) {
    image->installProbeRuntime();
    image->writeCfg("[Application]\n");
    const ChildResult r = launch();
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0u) << r.err;

    const auto record = e2e::readProbeRecord(probeRecordPath);
    ASSERT_FALSE(record.empty()) << "JLI_Launch was not called; " << r.err;
    EXPECT_NE(record.at("pid"), std::to_string(r.pid)) << "the first process started the JVM";
    EXPECT_EQ(record.at("injob"), "1");
    // Silent breakaway: what the child starts stays outside the job. (Kill
    // on job close shows in EndingTheFirstProcessEndsTheChild; Wine answers
    // a query for the job of the calling process without its limits.)
    EXPECT_EQ(record.at("grandchildinjob"), "0");
    const std::string path = e2e::decodeHex(record.at("path"));
    const std::string suffix = ";" + testsupport::utf8(image->appDir().wstring());
    ASSERT_GE(path.size(), suffix.size());
    EXPECT_EQ(path.substr(path.size() - suffix.size()), suffix) << path;
}

// Images under directories whose names are hard on the launcher: a ";"
// (the PATH separator, in the directory the restart appends to PATH), blanks
// and letters beyond ASCII, and a full path beyond MAX_PATH.
TEST_F(E2e, StartsTheRuntimeOnceFromAnyInstallDirectory) {
    const std::string longName = "J\xC3\xBCrgen " + std::string(130, 'l') + "\\" +
                                 "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E " + std::string(130, 'm');
    const struct {
        const char* name;
        std::string dir;
    } cases[] = {
        {"semicolon", "semi;colon;"},
        {"blanks and non-ASCII", "J\xC3\xBCrgen \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
        {"beyond MAX_PATH", longName},
    };
    for (const auto& c : cases) {
        const LaunchImage installed(c.dir);
        installed.installProbeRuntime();
        installed.writeCfg("[Application]\n");
        const std::string launcher = testsupport::utf8(installed.launcher().wstring());
        if (std::string(c.name) == "beyond MAX_PATH") {
            ASSERT_GT(installed.launcher().wstring().size(), static_cast<size_t>(MAX_PATH));
        }
        for (const bool direct : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (direct ? ", direct path" : ", restart path"));
            std::filesystem::remove(probeRecordPath);
            std::filesystem::remove(eventsPath);
            ScopedEnv env;
            if (direct) {
                env.set(L"PATH", testsupport::getEnv(L"PATH").value_or(L"") + L";" + installed.appDir().wstring());
            }
            const ChildResult r = e2e::run(installed.launcher(), {}, 60000);
            EXPECT_FALSE(r.timedOut);
            EXPECT_EQ(r.exitCode, 0u) << r.err.substr(0, 2000);
            EXPECT_EQ(testsupport::readFile(eventsPath), "jli launch\njli return\n");
            const auto record = e2e::readProbeRecord(probeRecordPath);
            ASSERT_FALSE(record.empty()) << r.err.substr(0, 2000);
            EXPECT_EQ(record.at("pid") != std::to_string(r.pid), !direct);
            EXPECT_EQ(record.at("injob"), direct ? "0" : "1");
            EXPECT_EQ(e2e::decodeHex(record.at("program")), launcher);
            EXPECT_EQ(e2e::decodeHex(record.at("apppath")), launcher);
        }
    }
}

// A relative "app.runtime" names a directory of the image, wherever the
// launcher was started from (here: the test's own directory).
TEST_F(E2e, RelativeRuntimeIsTakenFromTheImageRoot) {
    image->writeCfg("[Application]\napp.runtime=rt\nwin.norestart=true\n");
    const std::filesystem::path runtime = image->root / L"rt";
    const ChildResult missing = launch();
    EXPECT_EQ(missing.exitCode, 1u);
    const std::string expected = "Failed to find JVM in \"" + testsupport::utf8(runtime.wstring()) + "\" directory.\n";
    EXPECT_EQ(missing.err.compare(0, expected.size(), expected), 0) << missing.err;

    std::filesystem::create_directories(runtime / L"bin");
    std::filesystem::copy_file(e2e::builtFile(L"MORV_TEST_JLI_FILE"), runtime / L"bin" / L"jli.dll");
    const ChildResult found = launch();
    EXPECT_EQ(found.exitCode, 0u) << found.err;
    EXPECT_EQ(calls().size(), 1u);
}

TEST_F(E2e, ExitCodeOfTheChildComesBackThroughTheFirstProcess) {
    image->installTestRuntime();
    image->writeCfg("[Application]\n");
    struct Case {
        const wchar_t* exitValue;
        DWORD expected;
    };
    const Case cases[] = {{L"0", 0}, {L"42", 42}, {L"-1073741819", 0xC0000005}};
    for (const Case& c : cases) {
        std::filesystem::remove(recordPath);
        ScopedEnv env;
        env.set(L"MORV_TEST_JLI_EXIT", std::wstring(c.exitValue));
        const ChildResult r = launch();
        EXPECT_EQ(r.exitCode, c.expected) << "case " << c.expected << ": " << r.err;
        const auto recorded = calls();
        ASSERT_EQ(recorded.size(), 1u) << "case " << c.expected;
        EXPECT_NE(recorded[0].processId, static_cast<long long>(r.pid)) << "case " << c.expected;
    }
}

TEST_F(E2e, EndingTheFirstProcessEndsTheChild) {
    image->installProbeRuntime();
    image->writeCfg("[Application]\n");
    environment.set(L"MORV_PROBE_SLEEP", std::wstring(L"120000"));
    DWORD childPid = 0;
    bool childEnded = false;
    const ChildResult r = e2e::run(image->launcher(), {}, 60000, [&](const testsupport::RunningChild& running) {
        ASSERT_TRUE(e2e::waitForFile(probeRecordPath, 30000)) << "the child never reached JLI_Launch";
        childPid = static_cast<DWORD>(std::stoul(e2e::readProbeRecord(probeRecordPath).at("pid")));
        // Opened while the child still runs, so that its end is seen here and
        // not only after it slept its time: the pipe the run drains stays
        // open as long as the child lives.
        HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, childPid);
        ASSERT_NE(child, nullptr) << "child " << childPid;
        TerminateProcess(running.process, 7);
        childEnded = WaitForSingleObject(child, 10000) == WAIT_OBJECT_0;
        if (!childEnded) {
            TerminateProcess(child, 99);
        }
        CloseHandle(child);
    });
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 7u);
    ASSERT_NE(childPid, 0u);
    EXPECT_NE(childPid, r.pid);
    EXPECT_TRUE(childEnded) << "the child outlived the launcher";
}

TEST_F(E2e, ArgumentsReachTheRuntimeUnchangedOnBothPaths) {
    image->installTestRuntime();
    image->writeCfg("[Application]\n[ArgOptions]\narguments=configured\n");
    for (const bool direct : {false, true}) {
        SCOPED_TRACE(direct ? "direct path" : "restart path");
        std::filesystem::remove(recordPath);
        ScopedEnv env;
        if (direct) {
            listAppDirInPath(env);
        }
        const ChildResult r = launch(hardArgs);
        ASSERT_EQ(r.exitCode, 0u) << r.err;
        const auto recorded = calls();
        ASSERT_EQ(recorded.size(), 1u);
        EXPECT_EQ(recorded[0].processId == static_cast<long long>(r.pid), direct);

        std::vector<std::optional<std::string>> expected;
        for (const std::string& a : fixedJvmArgs(*image)) {
            expected.push_back(a);
        }
        // UTF-8 bytes: the manifest makes UTF-8 the "ANSI" code page, in
        // which the JVM arguments are handed over.
        for (const std::wstring& a : hardArgs) {
            expected.push_back(testsupport::utf8(a));
        }
        EXPECT_EQ(recorded[0].args, expected);
    }
}

TEST_F(E2e, DirectPathWhenPathListsTheAppDirOrTheConfigurationSaysSo) {
    image->installProbeRuntime();
    struct Case {
        const char* norestart;  // null: property absent
        bool appDirInPath;
        bool restart;
    };
    const Case cases[] = {
        {nullptr, false, true}, {"true", false, false}, {"TRUE", false, false},
        {"1", false, false},    {"false", false, true}, {"0", false, true},
        {nullptr, true, false}, {"false", true, false},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        std::filesystem::remove(probeRecordPath);
        std::string cfg = "[Application]\n";
        if (c.norestart) {
            cfg += std::string("win.norestart=") + c.norestart + "\n";
        }
        image->writeCfg(cfg);
        ScopedEnv env;
        if (c.appDirInPath) {
            // In another letter case, which still counts.
            env.set(L"PATH", testsupport::getEnv(L"PATH").value_or(L"") + L";" + image->root.wstring() + L"\\APP");
        }
        const ChildResult r = launch();
        ASSERT_EQ(r.exitCode, 0u) << "case " << i << ": " << r.err;
        const auto record = e2e::readProbeRecord(probeRecordPath);
        ASSERT_FALSE(record.empty()) << "case " << i;
        EXPECT_EQ(record.at("pid") != std::to_string(r.pid), c.restart) << "case " << i;
        EXPECT_EQ(record.at("injob"), c.restart ? "1" : "0") << "case " << i;
    }
}

TEST_F(E2e, PerUserConfigurationIsLookedUpInLocalAppDataThenAppData) {
    image->installTestRuntime();
    image->writeCfg("[Application]\napp.mainclass=FromAppDir\n");
    testsupport::writeFile(image->appDir() / L".package", "MorvPkg\n");
    const std::filesystem::path local = image->root / L"local";
    const std::filesystem::path roaming = image->root / L"roaming";
    const auto putCfg = [](const std::filesystem::path& dir, const char* mainClass) {
        testsupport::writeFile(dir / L"MorvPkg" / L"morv.cfg",
                       std::string("[Application]\napp.mainclass=") + mainClass + "\n");
    };
    putCfg(local, "FromLocal");
    putCfg(roaming, "FromRoaming");
    environment.set(L"LOCALAPPDATA", local.wstring()).set(L"APPDATA", roaming.wstring());

    struct Step {
        const wchar_t* removeDir;  // removed before the run
        bool unsetLocal;
        const char* expected;
    };
    const Step steps[] = {
        {nullptr, false, "FromLocal"},
        {nullptr, true, "FromRoaming"},
        {L"local", false, "FromRoaming"},
        {L"roaming", false, "FromAppDir"},
    };
    for (size_t i = 0; i < sizeof(steps) / sizeof(steps[0]); ++i) {
        const Step& s = steps[i];
        if (s.removeDir) {
            std::filesystem::remove_all(image->root / s.removeDir);
        }
        ScopedEnv env;
        if (s.unsetLocal) {
            env.set(L"LOCALAPPDATA", std::nullopt);
        }
        std::filesystem::remove(recordPath);
        const ChildResult r = launch();
        ASSERT_EQ(r.exitCode, 0u) << "step " << i << ": " << r.err;
        const auto recorded = calls();
        ASSERT_EQ(recorded.size(), 1u) << "step " << i;
        ASSERT_EQ(recorded[0].args.size(), 3u) << "step " << i;
        EXPECT_EQ(recorded[0].args[2], std::string(s.expected)) << "step " << i;
    }
}

TEST_F(E2e, SplashOptionPreloadsTheSplashLibraryUntilAfterJliLaunch) {
    image->installProbeRuntime();
    testsupport::writeFile(image->appDir() / L"splash.png", "not really a picture");
    struct Case {
        bool splash;
        const char* events;
    };
    const Case cases[] = {
        // Released by the launcher once the runtime's entry point has
        // returned ("unload", not "unload at exit").
        {true,
         "jvm.dll load\nsplashscreen.dll load\njvm.dll unload\njli launch\njli return\n"
         "splashscreen.dll unload\n"},
        {false, "jli launch\njli return\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.splash ? "with splash" : "without splash");
        std::filesystem::remove(eventsPath);
        std::filesystem::remove(probeRecordPath);
        std::string cfg = "[Application]\nwin.norestart=true\n";
        if (c.splash) {
            cfg += "app.splash=$APPDIR\\splash.png\n";
        }
        image->writeCfg(cfg);
        const ChildResult r = launch();
        ASSERT_EQ(r.exitCode, 0u) << r.err;
        EXPECT_EQ(testsupport::readFile(eventsPath), c.events);
        const auto record = e2e::readProbeRecord(probeRecordPath);
        EXPECT_EQ(record.at("jvmloaded"), "0");
        EXPECT_EQ(record.at("splashloaded"), c.splash ? "1" : "0");
    }
}

TEST_F(E2e, FailureEndsWithExitCodeOneAndThePlainMessageOnStandardError) {
    struct Case {
        const char* name;
        bool cfg;
        bool runtime;
        const wchar_t* jliResult;
        std::string expected;
    };
    const std::string appDir = testsupport::utf8(image->appDir().wstring());
    const std::string runtimeDir = testsupport::utf8((image->root / L"runtime").wstring());
    const Case cases[] = {
        {"no configuration", false, true, nullptr, "Error opening \"" + appDir + "\\morv.cfg\" file: "},
        {"no runtime", true, false, nullptr,
         "Failed to find JVM in \"" + runtimeDir + "\" directory.\n"},
        {"JLI_Launch fails", true, true, L"3", "Failed to launch JVM\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(image->appDir() / L"morv.cfg");
        std::filesystem::remove(image->binDir() / L"jli.dll");
        if (c.cfg) {
            image->writeCfg("[Application]\n");
        }
        if (c.runtime) {
            image->installTestRuntime();
        }
        ScopedEnv env;
        if (c.jliResult) {
            env.set(L"MORV_TEST_JLI_RESULT", std::wstring(c.jliResult));
        }
        const ChildResult r = launch({L"x"});
        EXPECT_FALSE(r.timedOut) << "the error box blocked";
        EXPECT_EQ(r.exitCode, 1u);
        EXPECT_EQ(r.err.compare(0, c.expected.size(), c.expected), 0) << r.err;
        EXPECT_EQ(r.err.find(".cpp("), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("[ERROR]"), std::string::npos) << r.err;
    }
}

// The launcher's file renamed while it starts (Windows allows that for a
// running program, Wine too): the restart cannot create its child from the
// path it was started from. The user must learn why, in the system's words,
// on standard error and in the dialog (which shares the text).
TEST_F(E2e, FailedRestartIsReportedLikeEveryOtherFailure) {
    image->installProbeRuntime();
    image->writeCfg("[Application]\n");
    const std::filesystem::path renamed = image->root / L"renamed.exe";
    const ChildResult r = e2e::run(
        image->launcher(), {}, 60000,
        [&](const testsupport::RunningChild& running) {
            EXPECT_TRUE(MoveFileW(image->launcher().wstring().c_str(), renamed.wstring().c_str()));
            ResumeThread(running.thread);
        },
        CREATE_SUSPENDED);
    EXPECT_FALSE(r.timedOut) << "the error box blocked";
    EXPECT_EQ(r.exitCode, 1u);
    const std::string launcher = testsupport::utf8(image->launcher().wstring());
    const std::string expected = "CreateProcess[suspended][visible][inherit](" + launcher + ", \"" +
                                 launcher + "\") failed. System error [2](system error 2 (";
    EXPECT_EQ(r.err.compare(0, expected.size(), expected), 0) << r.err;
    EXPECT_EQ(r.err.find("No description available"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("[ERROR]"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(probeRecordPath)) << "the runtime was started";
}

// Without LOCALAPPDATA the per-user look-up reports one ERROR record and
// goes on with APPDATA.
TEST_F(E2e, UnsetLocalAppDataGivesOneErrorRecordAndTheLaunchGoesOn) {
    if (!GetConsoleWindow()) {
        AllocConsole();
    }
    image->installTestRuntime();
    image->writeCfg("[Application]\nwin.norestart=true\n");
    testsupport::writeFile(image->appDir() / L".package", "MorvPkg\n");
    environment.set(L"LOCALAPPDATA", std::nullopt)
        .set(L"APPDATA", (image->root / L"roaming").wstring())
        .set(L"VARNO_DEBUG", std::wstring(L"true"));
    const ChildResult r = launch();
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    std::vector<std::string> errors;
    std::istringstream lines(r.err);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, 8, "[ERROR] ") == 0) {
            errors.push_back(line);
        }
    }
    ASSERT_EQ(errors.size(), 1u) << r.err;
    // Written where the failure was caught, by the launch flow.
    EXPECT_EQ(errors[0].compare(0, 24, "[ERROR] WinLauncher.cpp:"), 0) << errors[0];
    EXPECT_NE(errors[0].find("GetEnvironmentVariable(LOCALAPPDATA) failed. Variable not set"),
              std::string::npos)
        << errors[0];
    const std::string roaming = testsupport::utf8((image->root / L"roaming" / L"MorvPkg").wstring());
    EXPECT_NE(r.err.find("Check [" + roaming + "\\morv.cfg] file exit"), std::string::npos)
        << r.err;
    EXPECT_EQ(calls().size(), 1u);
}

// Wine connects a GUI process to the console of its parent on its own, so
// the launcher can neither attach to another console nor allocate one, and
// its standard error stays where the parent put it: the pipe. The launch
// that re-opens the streams on a console is run by the display tests.
TEST_F(E2e, DebugTraceGoesToStandardErrorFromEnteringToExitingTheLaunch) {
    if (!GetConsoleWindow()) {
        AllocConsole();
    }
    image->installTestRuntime();
    const std::string launcher = testsupport::utf8(image->launcher().wstring());
    const std::string binDir = testsupport::utf8(image->binDir().wstring());
    const std::string dllRecords[] = {
        "SetDllDirectory to: " + binDir,
        "AddDllDirectory(" + binDir + "): OK",
        "LoadLibraryEx(" + binDir + "\\jli.dll, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS): ",
        // The short format has no function field; the scope records of the
        // launch flow name their function in the text.
        ": Entering loadDllWithAddDllDirectory",
        ": Exiting loadDllWithAddDllDirectory (entered at WinLauncher.cpp:",
    };
    const std::string restartRecords[] = {
        "CreateProcess[suspended][visible][inherit](" + launcher + ", \"" + launcher +
            "\" x) succeeded; PID=",
        "AssignProcessToJobObject(PID=",
        "ResumeThread()",
        "Executor worker thread terminated. Exit code=0",
    };
    struct Case {
        const char* name;
        bool appDirInPath;
        const char* norestart;  // null: property absent
        bool restart;
        // Once in each process that reads it: the restart decision needs the
        // file unless PATH already decides, and createJvm reuses what it read.
        size_t cfgReads;
    };
    const Case cases[] = {
        {"PATH lists the app dir", true, nullptr, false, 1},
        {"win.norestart=true", false, "true", false, 1},
        {"win.norestart=false", false, "false", true, 2},
        {"restart", false, nullptr, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string cfg = "[Application]\n";
        if (c.norestart) {
            cfg += std::string("win.norestart=") + c.norestart + "\n";
        }
        image->writeCfg(cfg);
        ScopedEnv env;
        env.set(L"VARNO_DEBUG", std::wstring(L"true"));
        if (c.appDirInPath) {
            listAppDirInPath(env);
        }
        const ChildResult r = launch({L"x"});
        ASSERT_EQ(r.exitCode, 0u) << r.err;
        std::vector<std::string> records;
        std::istringstream lines(r.err);
        for (std::string line; std::getline(lines, line);) {
            if (line.compare(0, 8, "[TRACE] ") == 0) {
                records.push_back(line);
            }
        }
        ASSERT_GE(records.size(), 2u) << r.err;
        EXPECT_EQ(records.front().compare(0, 16, "[TRACE] app.cpp:"), 0) << records.front();
        EXPECT_NE(records.front().find(": Entering app::launch"), std::string::npos) << records.front();
        const auto count = [&records](const std::string& text) {
            size_t n = 0;
            for (const std::string& rec : records) {
                n += rec.find(text) != std::string::npos;
            }
            return n;
        };
        EXPECT_EQ(count("Launcher config file path: "), c.cfgReads) << r.err;
        EXPECT_EQ(count("win.norestart="), c.norestart ? 1u : 0u) << r.err;
        if (c.norestart) {
            EXPECT_EQ(count(std::string("win.norestart=") + c.norestart + " from config file"), 1u)
                << r.err;
        }
        // The direct path runs once, in the first process or in the child.
        for (const std::string& text : dllRecords) {
            EXPECT_EQ(count(text), 1u) << text << "\n" << r.err;
        }
        if (!c.restart) {
            EXPECT_NE(records.back().find(": Exiting app::launch"), std::string::npos) << records.back();
            EXPECT_EQ(count("CreateProcess"), 0u) << r.err;
            EXPECT_EQ(count("Entering app::launch"), 1u) << r.err;
        } else {
            // The first process leaves from inside the launch with the child's
            // code; only the child's launch returns.
            EXPECT_NE(records.back().find("Executor worker thread terminated. Exit code=0"),
                      std::string::npos)
                << records.back();
            EXPECT_EQ(count("Entering app::launch"), 2u) << r.err;
            EXPECT_EQ(count("Exiting app::launch"), 1u) << r.err;
            for (const std::string& text : restartRecords) {
                EXPECT_EQ(count(text), 1u) << text << "\n" << r.err;
            }
            std::string childPid;
            for (const std::string& rec : records) {
                const size_t at = rec.find(" succeeded; PID=");
                if (at != std::string::npos) {
                    childPid = rec.substr(at + 16);
                }
            }
            ASSERT_FALSE(childPid.empty()) << r.err;
            EXPECT_EQ(count("AssignProcessToJobObject(PID=" + childPid + ")"), 1u) << r.err;
            EXPECT_EQ(count("Process with PID=" + childPid + " terminated. Exit code=0"), 1u)
                << r.err;
        }
    }
}

TEST(ProgramResources, ManifestAndVersionInformationAreEmbedded) {
    const std::wstring program = e2e::builtFile(L"MORV_E2E_MORV").wstring();
    HMODULE module =
        LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr) << "no application manifest";
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(data, SizeofResource(module, found));
    FreeLibrary(module);
    const char* required[] = {
        "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8</activeCodePage>",
        "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>",
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
    };
    for (const char* r : required) {
        EXPECT_NE(manifest.find(r), std::string::npos) << r;
    }

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    wchar_t* name = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904b0\\OriginalFilename",
                               reinterpret_cast<void**>(&name), &length));
    EXPECT_EQ(std::wstring(name), L"morv.exe");
}

} // namespace
