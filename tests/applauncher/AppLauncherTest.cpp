#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>

#include "AppLauncher.h"
#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "SysInfo.h"
#include "TestSupport.h"

using testsupport::CapturedLog;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::toFs;

namespace {

const char kLibVar[] = "MORV_TEST_LIB_PATH";

// A relative path written with '\' in the platform's own separator, for the
// files a test lays out itself.
tstring nat(tstring path) {
    std::replace(path.begin(), path.end(), L'\\', FileUtils::pathSeparator);
    return path;
}

std::string plainMessageOf(const std::exception& e) {
    const VnErrorBase* vn = dynamic_cast<const VnErrorBase*>(&e);
    return vn ? vn->plainMessage() : std::string("(not a VnError) ") + e.what();
}

// An application image in a temporary directory: <root>\bin\Demo.exe,
// <root>\app, <root>\runtime\bin\jli.dll.
class AppImage : public testing::Test {
protected:
    AppImage() {
        root = testsupport::toT(dir.path());
        appDir = FileUtils::combinePath(root, L"app");
        runtimeDir = FileUtils::combinePath(root, L"runtime");
        jliPath = FileUtils::combinePath(runtimeDir, nat(L"bin\\jli.dll"));
        launcher.setLauncherPath(FileUtils::combinePath(root, nat(L"bin\\Demo.exe")))
            .setCommandArgs({})
            .setImageRoot(root)
            .setAppDir(appDir)
            .setDefaultRuntimePath(runtimeDir)
            .setLibEnvVariableName(tstrings::decodeUtf8(kLibVar))
            .addJvmLibName(nat(L"bin\\jli.dll"));
        writeFile(jliPath, "");
    }

    void writeFile(const tstring& path, const std::string& text) {
        std::filesystem::create_directories(toFs(path).parent_path());
        std::ofstream(toFs(path), std::ios::binary) << text;
    }

    void writeCfg(const std::string& text) { writeFile(FileUtils::combinePath(appDir, L"Demo.cfg"), text); }

    std::unique_ptr<Jvm> createJvm() { return std::unique_ptr<Jvm>(launcher.createJvm()); }

    TempDir dir;
    ScopedEnv libVar{kLibVar, std::nullopt};
    tstring root;
    tstring appDir;
    tstring runtimeDir;
    tstring jliPath;
    AppLauncher launcher;
};

TEST_F(AppImage, NamesTheConfigurationAfterTheLauncher) {
    struct Case {
        tstring launcherPath;
        tstring expected;
    };
    const Case cases[] = {
        {L"C:\\x\\Demo.exe", L"Demo.cfg"},
        {L"C:\\x\\Demo", L"Demo.cfg"},
        {L"C:\\x\\my.tool.exe", L"my.tool.cfg"},
        {L"/opt/x.d/run", L"run.cfg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(tstrings::encodeUtf8(c.launcherPath));
        CapturedLog log;
        launcher.setLauncherPath(c.launcherPath);
        EXPECT_EQ(launcher.getCfgFilePath(), FileUtils::combinePath(appDir, c.expected));
        EXPECT_TRUE(log.records.empty());
    }
}

TEST_F(AppImage, LooksUpTheConfigurationInOrder) {
    const tstring a = FileUtils::combinePath(root, L"user-a");
    const tstring b = FileUtils::combinePath(root, L"user-b");
    launcher.addCfgFileLookupDir(a).addCfgFileLookupDir(b);
    const tstring inA = FileUtils::combinePath(a, L"Demo.cfg");
    const tstring inB = FileUtils::combinePath(b, L"Demo.cfg");
    const std::vector<tstring> checks = {L"Check [" + inA + L"] file exit",
                                         L"Check [" + inB + L"] file exit"};
    {
        CapturedLog log;
        EXPECT_EQ(launcher.getCfgFilePath(), FileUtils::combinePath(appDir, L"Demo.cfg"));
        EXPECT_EQ(log.messages(L"TRACE"), checks);
        EXPECT_EQ(log.functions(L"TRACE"),
                  std::vector<tstring>(2, L"AppLauncher::getCfgFilePath"));
    }
    writeFile(inB, "[Application]\n");
    {
        CapturedLog log;
        EXPECT_EQ(launcher.getCfgFilePath(), inB);
        EXPECT_EQ(log.messages(L"TRACE"), checks);
    }
    // A directory of that name counts as present.
    std::filesystem::create_directories(toFs(inA));
    {
        CapturedLog log;
        EXPECT_EQ(launcher.getCfgFilePath(), inA);
        EXPECT_EQ(log.messages(L"TRACE"), std::vector<tstring>{checks[0]});
    }
}

TEST_F(AppImage, CreatesAnExpandedConfiguration) {
    writeCfg("[Application]\napp.classpath=$APPDIR\\a.jar\napp.mainclass=${BINDIR}|$ROOTDIR\n");
    CapturedLog log;
    const std::unique_ptr<CfgFile> cfg(launcher.createCfgFile());
    const auto& props = cfg->getProperties(CfgFile::application);
    EXPECT_EQ(props.at(CfgFile::classpath), tstring_array{appDir + L"\\a.jar"});
    EXPECT_EQ(props.at(CfgFile::mainclass),
              tstring_array{FileUtils::combinePath(root, L"bin") + L"|" + root});
    const std::vector<tstring> traces = log.messages(L"TRACE");
    ASSERT_FALSE(traces.empty());
    EXPECT_EQ(traces[0], L"Launcher config file path: \"" +
                             FileUtils::combinePath(appDir, L"Demo.cfg") + L"\"");
    EXPECT_EQ(log.records[0].functionName, L"AppLauncher::createCfgFile");
}

TEST_F(AppImage, MissingConfigurationNamesTheApplicationDirectory) {
    launcher.addCfgFileLookupDir(FileUtils::combinePath(root, L"user"));
    try {
        delete launcher.createCfgFile();
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& e) {
        const std::string prefix =
            "Error opening \"" +
            tstrings::encodeUtf8(FileUtils::combinePath(appDir, L"Demo.cfg")) + "\" file: ";
        EXPECT_EQ(plainMessageOf(e).compare(0, prefix.size(), prefix), 0) << plainMessageOf(e);
    }
}

TEST_F(AppImage, FindsTheRuntimeLibrary) {
    struct Case {
        const char* name;
        std::string cfg;
        tstring_array libNames;
        tstring expectedRuntime;  // relative to the root; empty: the default
        tstring expectedLib;
    };
    const Case cases[] = {
        {"default runtime", "[Application]\n", {nat(L"bin\\jli.dll")}, L"", nat(L"bin\\jli.dll")},
        {"last app.runtime wins", "[Application]\napp.runtime=$ROOTDIR/r1\napp.runtime=$ROOTDIR/r2\n",
         {nat(L"bin\\jli.dll")}, L"r2", nat(L"bin\\jli.dll")},
        {"relative app.runtime is taken from the image root", "[Application]\napp.runtime=r1\n",
         {nat(L"bin\\jli.dll")}, L"r1", nat(L"bin\\jli.dll")},
        {"first existing library", "[Application]\n", {nat(L"lib\\none.so"), nat(L"bin\\jli.dll"), L"x"}, L"",
         nat(L"bin\\jli.dll")},
    };
    writeFile(FileUtils::combinePath(root, nat(L"r1\\bin\\jli.dll")), "");
    writeFile(FileUtils::combinePath(root, nat(L"r2\\bin\\jli.dll")), "");
    writeFile(FileUtils::combinePath(runtimeDir, L"x"), "");
    // Started from anywhere but the image root: the result must not depend on it.
    const std::filesystem::path savedCwd = std::filesystem::current_path();
    TempDir elsewhere;
    std::filesystem::current_path(elsewhere.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeCfg(c.cfg);
        // A launcher of its own, with the library names of the case.
        AppLauncher al;
        al.setLauncherPath(launcher.getLauncherPath())
            .setCommandArgs({})
            .setImageRoot(root)
            .setAppDir(appDir)
            .setDefaultRuntimePath(runtimeDir)
            .setLibEnvVariableName(tstrings::decodeUtf8(kLibVar));
        for (const tstring& n : c.libNames) {
            al.addJvmLibName(n);
        }
        CapturedLog log;
        const std::unique_ptr<Jvm> jvm(al.createJvm());
        const tstring runtime =
            c.expectedRuntime.empty() ? runtimeDir : FileUtils::combinePath(root, c.expectedRuntime);
        EXPECT_EQ(toFs(jvm->getPath()).lexically_normal(),
                  toFs(FileUtils::combinePath(runtime, c.expectedLib)).lexically_normal());
        const tstring notFound = L"Property \"app.runtime\" not found in \"Application\" section "
                                 L"of launcher config file. Using Java runtime from \"" +
                                 runtimeDir + L"\" directory";
        const std::vector<tstring> traces = log.messages(L"TRACE");
        const auto found = std::find(traces.begin(), traces.end(), notFound);
        EXPECT_EQ(found != traces.end(), c.expectedRuntime.empty());
        if (found != traces.end()) {
            EXPECT_EQ(log.functions(L"TRACE")[static_cast<size_t>(found - traces.begin())],
                      L"findJvmLib");
        }
    }
    std::filesystem::current_path(savedCwd);
}

TEST_F(AppImage, FailsWithoutRuntimeLibrary) {
    struct Case {
        const char* name;
        std::string cfg;
        bool noLibNames;
        tstring runtime;  // the directory the message names; empty: the default
    };
    const tstring absent = FileUtils::combinePath(root, L"absent");
    const Case cases[] = {
        // The message names the directory that was searched.
        {"relative runtime resolved against the image root",
         "[Application]\napp.runtime=no-such-runtime\n", false,
         FileUtils::combinePath(root, L"no-such-runtime")},
        {"absolute runtime used as written",
         "[Application]\napp.runtime=" + tstrings::encodeUtf8(absent) + "\n", false, absent},
        {"no library names", "[Application]\n", true, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeCfg(c.cfg);
        AppLauncher al(launcher);
        if (c.noLibNames) {
            al = AppLauncher();
            al.setLauncherPath(launcher.getLauncherPath())
                .setCommandArgs({})
                .setAppDir(appDir)
                .setDefaultRuntimePath(runtimeDir)
                .setLibEnvVariableName(tstrings::decodeUtf8(kLibVar));
        }
        try {
            delete al.createJvm();
            ADD_FAILURE() << "no error raised";
        } catch (const std::runtime_error& e) {
            const tstring runtime = c.runtime.empty() ? runtimeDir : c.runtime;
            EXPECT_EQ(plainMessageOf(e),
                      "Failed to find JVM in \"" + tstrings::encodeUtf8(runtime) + "\" directory.");
            EXPECT_NE(std::string(e.what()).find("findJvmLib(): "), std::string::npos) << e.what();
        }
    }
}

// The restart appends the application directory to the search variable and
// the restarted child must find it there, whatever the directory's name
// holds: otherwise every child would restart again.
TEST_F(AppImage, FindsTheAppDirItAppendedWhateverItsNameHolds) {
    writeCfg("[Application]\n");
    launcher.setLibEnvVariableSeparator(L";");
    const tstring dirs[] = {L"semi;colon", L";lead", L"trail;", L";", L"a;;b", L"J\u00FCrgen \u65E5"};
    const std::optional<std::string> before[] = {std::nullopt, std::string(""), std::string("x;y")};
    for (const tstring& d : dirs) {
        for (const auto& value : before) {
            SCOPED_TRACE(tstrings::encodeUtf8(d) + " / " + value.value_or("(unset)"));
            libVar.set(kLibVar, value);
            const CfgFile cfg;
            AppLauncher parent(launcher);
            parent.setAppDir(FileUtils::combinePath(FileUtils::combinePath(root, d), L"app"))
                .setExternalCfgFile(&cfg);
            EXPECT_FALSE(parent.isAppDirInLibEnvVariable());
            const std::unique_ptr<Jvm> jvm(parent.createJvm());
            ASSERT_EQ(jvm->getEnvVarValues().size(), 1u);
            // The child's view: the variable as the parent left it.
            libVar.set(kLibVar, tstrings::encodeUtf8(jvm->getEnvVarValues()[0]));
            EXPECT_TRUE(parent.isAppDirInLibEnvVariable());
            const std::unique_ptr<Jvm> child(parent.createJvm());
            EXPECT_TRUE(child->getEnvVarValues().empty());
        }
    }
    // Only a run of whole entries counts.
    const tstring app = FileUtils::combinePath(FileUtils::combinePath(root, L"a;b"), L"app");
    const tstring parentDir = FileUtils::combinePath(root, L"a");
    launcher.setAppDir(app);
    const struct {
        tstring value;
        bool listed;
    } cases[] = {
        {L"x;" + app + L";y", true},
        {app, true},
        {parentDir + L";x", false},
        {L"x" + app, false},
        {app + L"x;y", false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        libVar.set(kLibVar, tstrings::encodeUtf8(cases[i].value));
        EXPECT_EQ(launcher.isAppDirInLibEnvVariable(), cases[i].listed) << "case " << i;
    }
}

TEST_F(AppImage, ExtendsTheLibrarySearchPath) {
    writeCfg("[Application]\n");
    // The Windows PATH rule, on every platform: ';' lists, and an unset or
    // empty variable keeps the leading ';'.
    launcher.setLibEnvVariableSeparator(L";");
    struct Case {
        const char* name;
        std::optional<std::string> value;
        bool listed;
    };
    const std::string app = tstrings::encodeUtf8(appDir);
    std::string upper = app;
    for (char& ch : upper) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    const Case cases[] = {
        {"unset", std::nullopt, false},
        {"empty", std::string(""), false},
        {"other entries", std::string("x;y"), false},
        {"listed", std::string("x;" + app + ";y"), true},
        {"listed alone", app, true},
        {"listed in another letter case", std::string("x;" + upper), true},
        {"trailing backslash does not count", std::string(app + "\\;x"), false},
        {"blank does not count", std::string(" " + app), false},
        {"prefix does not count", std::string(app + "x"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        libVar.set(kLibVar, c.value);
        EXPECT_EQ(launcher.isAppDirInLibEnvVariable(), c.listed);
        const std::unique_ptr<Jvm> jvm = createJvm();
        if (c.listed) {
            EXPECT_TRUE(jvm->getEnvVarNames().empty());
            EXPECT_TRUE(jvm->getEnvVarValues().empty());
        } else {
            EXPECT_EQ(jvm->getEnvVarNames(), tstring_array{tstrings::decodeUtf8(kLibVar)});
            EXPECT_EQ(jvm->getEnvVarValues(),
                      tstring_array{tstrings::decodeUtf8(c.value.value_or("")) + L";" + appDir});
        }
    }
}

TEST_F(AppImage, LibrarySearchPathWithAnotherListSeparator) {
    writeCfg("[Application]\n");
    // Not ':' as on Linux: a Windows path holds one after its drive letter.
    launcher.setLibEnvVariableSeparator(L"|");
    const std::string app = tstrings::encodeUtf8(appDir);
    struct Case {
        std::optional<std::string> value;
        bool listed;
    };
    const Case cases[] = {
        {std::string("x|" + app + "|y"), true},
        {std::string("x;" + app), false},
        {std::nullopt, false},
        {std::string(""), false},
        {std::string("x"), false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        libVar.set(kLibVar, c.value);
        EXPECT_EQ(launcher.isAppDirInLibEnvVariable(), c.listed) << "case " << i;
        const std::unique_ptr<Jvm> jvm = createJvm();
        // Only ';' lists keep an empty first entry: in a ':' list it would
        // name the current directory.
        const tstring old = tstrings::decodeUtf8(c.value.value_or(""));
        const tstring_array expected =
            c.listed ? tstring_array{}
                     : tstring_array{old.empty() ? appDir : old + L"|" + appDir};
        EXPECT_EQ(jvm->getEnvVarValues(), expected) << "case " << i;
    }
}

TEST_F(AppImage, CommandLineReplacesTheArguments) {
    writeCfg("[Application]\napp.mainclass=Main\n[ArgOptions]\narguments=cfg1\narguments=cfg2\n");
    const tstring appPath = L"-Dvarno.app-path=" + SysInfo::getProcessModulePath();
    struct Case {
        tstring_array commandArgs;
        tstring_array appArgs;
    };
    const Case cases[] = {
        {{}, {L"cfg1", L"cfg2"}},
        {{L"x", L"y"}, {L"x", L"y"}},
        {{L""}, {L""}},
        {{L"-splash:z"}, {L"-splash:z"}},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        launcher.setCommandArgs(cases[i].commandArgs);
        const std::unique_ptr<Jvm> jvm = createJvm();
        tstring_array expected = {launcher.getLauncherPath(), appPath, L"Main"};
        expected.insert(expected.end(), cases[i].appArgs.begin(), cases[i].appArgs.end());
        EXPECT_EQ(jvm->getArguments(), expected) << "case " << i;
        EXPECT_EQ(jvm->getPath(), jliPath) << "case " << i;
    }
}

TEST_F(AppImage, ExternalConfigurationIsUsedAndLeftAlone) {
    // No configuration file exists: the external one must be all that is read.
    CfgFile external;
    external.setPropertyValue(CfgFile::application, CfgFile::mainclass, {L"Ext"})
        .setPropertyValue(CfgFile::argOptions, CfgFile::arguments, {L"own"});
    launcher.setExternalCfgFile(&external).setCommandArgs({L"cmd"});
    const std::unique_ptr<Jvm> jvm = createJvm();
    const tstring appPath = L"-Dvarno.app-path=" + SysInfo::getProcessModulePath();
    EXPECT_EQ(jvm->getArguments(),
              (tstring_array{launcher.getLauncherPath(), appPath, L"Ext", L"cmd"}));
    EXPECT_EQ(external.getProperties(CfgFile::argOptions).at(CfgFile::arguments),
              tstring_array{L"own"});
}

TEST(AppLauncher, TakesItsDefaultsFromTheProcess) {
    const AppLauncher launcher;
    EXPECT_EQ(launcher.getLauncherPath(), SysInfo::getProcessModulePath());
    EXPECT_EQ(launcher.getCommandArgs(), SysInfo::getCommandArgs(ArgsMode::WithoutProgramName));
    EXPECT_TRUE(launcher.getAppDir().empty());
}

} // namespace
