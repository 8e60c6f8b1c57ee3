#include "WinApi.h"

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>

#include "AppLauncher.h"
#include "CfgFile.h"
#include "Dll.h"
#include "ErrorHandling.h"
#include "Executor.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "OwnedHandle.h"
#include "PackageFile.h"
#include "SysInfo.h"
#include "Toolbox.h"
#include "WinApp.h"
#include "WinDll.h"

namespace {

void enableConsoleCtrlHandler(bool enable) {
    if (!SetConsoleCtrlHandler(nullptr, enable ? TRUE : FALSE)) {
        RAISE_SYS_ERROR(&SetConsoleCtrlHandler,
                        "SetConsoleCtrlHandler(NULL, " << (enable ? "TRUE" : "FALSE") << ") failed");
    }
}

std::unique_ptr<Dll> loadDllWithAddDllDirectory(const tstring& path) {
    TRACE_SCOPE();
    const tstring dir = FileUtils::dirname(path);

    typedef DLL_DIRECTORY_COOKIE(WINAPI * AddDllDirectoryFunc)(PCWSTR);
    // Looked up at run time: kernel32 gained it only with an update of Windows 7.
    const DllFunction<AddDllDirectoryFunc> addDllDirectory(systemDll(L"kernel32.dll"),
                                                            L"AddDllDirectory");
    const AddDllDirectoryFunc addDllDirectoryFunc = addDllDirectory;
    if (!addDllDirectoryFunc(dir.c_str())) {
        RAISE_SYS_ERROR(addDllDirectory.get(), "AddDllDirectory(" << dir << ") failed");
    }
    TRACE_LOG("AddDllDirectory(" << dir << "): OK");

    // This load resolves the library's own imports from the added directory;
    // the Dll below then only takes a second reference to the loaded module.
    const HMODULE h = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    TRACE_LOG("LoadLibraryEx(" << path << ", LOAD_LIBRARY_SEARCH_DEFAULT_DIRS): " << h);
    const AtEndOfScope freeLibrary([h]() {
        if (h) {
            FreeLibrary(h);
        }
    });
    return std::unique_ptr<Dll>(new Dll(path));
}

std::unique_ptr<Dll> loadDllWithAlteredPATH(const tstring& path) {
    TRACE_SCOPE();
    const tstring oldPath = SysInfo::getEnvVariable(L"PATH");
    // At the end, so that nothing found earlier in PATH changes meaning.
    const tstring newPath = oldPath + L";" + FileUtils::dirname(path);
    SysInfo::setEnvVariable(L"PATH", newPath);
    TRACE_LOG("New value of PATH: " << newPath);
    const AtEndOfScope restorePath([&oldPath]() { SysInfo::setEnvVariable(L"PATH", oldPath); });
    return std::unique_ptr<Dll>(new Dll(path));
}

// One runtime library held loaded for a while.
class PreloadedDll {
public:
    explicit PreloadedDll(const tstring& path) : dll(load(path)) {}
    PreloadedDll(const PreloadedDll&) = delete;
    PreloadedDll& operator=(const PreloadedDll&) = delete;

private:
    static std::unique_ptr<Dll> load(const tstring& path) {
        try {
            return loadDllWithAddDllDirectory(path);
        } catch (const std::exception&) {
            // Dropped on purpose: the altered PATH is the fallback, and its
            // error is the one worth reporting.
        }
        return loadDllWithAlteredPATH(path);
    }

    std::unique_ptr<Dll> dll;
};

tstring getServerJvmPath(const Jvm& jvm) {
    return FileUtils::combinePath(
        FileUtils::combinePath(FileUtils::dirname(jvm.getPath()), L"server"), L"jvm.dll");
}

void addCfgFileLookupDirForEnvVariable(const PackageFile& packageFile, AppLauncher& appLauncher,
                                       const tstring& envVarName) {
    const tstring value = reportAndReturn(CURRENT_SOURCE_POS, tstring(),
                                          [&envVarName] { return SysInfo::getEnvVariable(envVarName); });
    if (!value.empty()) {
        appLauncher.addCfgFileLookupDir(FileUtils::combinePath(value, packageFile.getPackageName()));
    }
}

// The restart sets PATH to list the application directory before the child
// is created, so the child answers false here and the restart stays one level
// deep.
bool needRestartLauncher(AppLauncher& appLauncher, CfgFile& cfgFile) {
    if (appLauncher.isAppDirInLibEnvVariable()) {
        return false;
    }

    {
        const std::unique_ptr<CfgFile> loaded(appLauncher.createCfgFile());
        cfgFile = std::move(*loaded);
    }

    const CfgFile::Properties& properties = cfgFile.getProperties(CfgFile::application);
    const CfgFile::Properties::const_iterator entry = properties.find(CfgFile::winNorestart);
    if (entry == properties.end()) {
        appLauncher.setExternalCfgFile(&cfgFile);
        return true;
    }

    const bool noRestart = CfgFile::booleanValue(*entry);
    TRACE_LOG(CfgFile::winNorestart.name() << "=" << (noRestart ? "true" : "false")
                                           << " from config file");
    appLauncher.setExternalCfgFile(&cfgFile);
    return !noRestart;
}

// Runs an Executor on a worker thread while the calling thread pumps window
// messages, so that the waiting launcher stays responsive to the shell.
class RunExecutorWithMsgLoop {
public:
    static std::uint32_t apply(const Executor& executor) {
        // On the heap: when the message loop fails, the worker may still use
        // the runner after the error has left this frame, so it is then left
        // to the end of the process.
        std::unique_ptr<RunExecutorWithMsgLoop> runner(new RunExecutorWithMsgLoop(executor));

        DWORD threadId = 0;
        OwnedHandle thread(CreateThread(nullptr, 0, threadStart, runner.get(), 0, &threadId));
        if (!thread) {
            RAISE_SYS_ERROR(&CreateThread, "CreateThread() failed");
        }

        for (;;) {
            MSG msg;
            const BOOL rc = GetMessageW(&msg, runner->window, 0, 0);
            if (rc == 0) {
                break;
            }
            if (rc == -1) {
                // unique_ptr::release() makes no system call: the last error survives.
                runner.release();
                RAISE_SYS_ERROR(&GetMessageW, "GetMessage() failed");
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }

        if (WaitForSingleObject(thread.get(), INFINITE) == WAIT_FAILED) {
            runner.release();
            RAISE_SYS_ERROR(&WaitForSingleObject, "WaitForSingleObject() failed");
        }

        // The thread's end orders the worker's writes of exitCode and failure
        // before these reads.
        const std::uint32_t exitCode = runner->exitCode;
        TRACE_LOG("Executor worker thread terminated. Exit code=" << exitCode);
        if (runner->failure) {
            // The child could not be run: reported from here like every other
            // failure of the launch, on standard error and in the dialog,
            // instead of only as a record of the worker thread.
            std::rethrow_exception(runner->failure);
        }
        return exitCode;
    }

    // The worker thread's body; never raises.
    void run() {
        try {
            exitCode = executor->execAndWaitForExit();
        } catch (...) {
            // Handed to the main thread, which reports it once the loop ends.
            failure = std::current_exception();
        }

        // The raise names this function, not the lambda it runs in.
        const SourcePos here = CURRENT_SOURCE_POS;
        const bool posted = reportAndReturn(here, false, [this, &here] {
            if (!PostMessageW(window, WM_QUIT, 0, 0)) {
                RAISE_SYS_ERROR_AT(here, &PostMessageW, "PostMessage(WM_QUIT) failed");
            }
            return true;
        });
        if (!posted) {
            // The main thread would wait for WM_QUIT for ever.
            std::exit(1);
        }
    }

private:
    explicit RunExecutorWithMsgLoop(const Executor& executor)
        : executor(&executor), exitCode(1), window(nullptr), failure(nullptr) {
        // A message-only window of a predefined class: nothing to register,
        // and the class's own procedure handles whatever is dispatched.
        window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        if (!window) {
            RAISE_SYS_ERROR(&CreateWindowExW, "CreateWindowEx() failed");
        }
    }

    static DWORD WINAPI threadStart(LPVOID param) {
        static_cast<RunExecutorWithMsgLoop*>(param)->run();
        return 0;
    }

    const Executor* executor;
    std::uint32_t exitCode;
    HWND window;
    // What kept the child from running, if anything; written by the worker.
    std::exception_ptr failure;
};

void launchApp() {
    // From here on any process, the restarted child included, may take the
    // foreground, which a launcher that only waits would otherwise keep.
    AllowSetForegroundWindow(ASFW_ANY);

    const tstring launcherPath = SysInfo::getProcessModulePath();
    const tstring imageRoot = FileUtils::dirname(launcherPath);
    const tstring appDir = FileUtils::combinePath(imageRoot, L"app");

    const PackageFile packageFile = PackageFile::loadFromAppDir(appDir);

    AppLauncher appLauncher;
    appLauncher.setImageRoot(imageRoot)
        .addJvmLibName(L"bin\\jli.dll")
        .setAppDir(appDir)
        .setLibEnvVariableName(L"PATH")
        .setDefaultRuntimePath(FileUtils::combinePath(imageRoot, L"runtime"));

    if (!packageFile.getPackageName().empty()) {
        addCfgFileLookupDirForEnvVariable(packageFile, appLauncher, L"LOCALAPPDATA");
        addCfgFileLookupDirForEnvVariable(packageFile, appLauncher, L"APPDATA");
    }

    // Outlives every use by appLauncher, which holds a pointer to it.
    CfgFile cfgFile;
    const bool restart = needRestartLauncher(appLauncher, cfgFile);

    // Before the branch, so that a missing runtime stops the restart too.
    std::unique_ptr<Jvm> jvm(appLauncher.createJvm());

    if (restart) {
        // PATH with the application directory, inherited by the child.
        jvm->applyEnvVariables();
        jvm.reset();

        OwnedHandle job(CreateJobObjectW(nullptr, nullptr));
        if (!job) {
            RAISE_SYS_ERROR(&CreateJobObjectW, "CreateJobObject() failed");
        }

        // The child dies with the last handle of the job, that is with this
        // process, however it ends; what the child starts stays outside.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags =
            JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
        if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                     sizeof(limits))) {
            RAISE_SYS_ERROR(&SetInformationJobObject, "SetInformationJobObject() failed");
        }

        Executor executor(launcherPath);
        executor.visible(true).jobObject(job.get()).suspended(true).inherit(true);
        for (const tstring& arg : SysInfo::getCommandArgs(ArgsMode::WithoutProgramName)) {
            executor.args().push_back(arg);
        }
        // Ctrl+C in a shared console is the child's to handle; this process
        // only waits for it.
        executor.onProcessCreated([](HANDLE) { enableConsoleCtrlHandler(true); });

        const std::uint32_t exitCode = RunExecutorWithMsgLoop::apply(executor);
        // The job handle stays open until the process is gone.
        std::exit(static_cast<int>(exitCode));
    }

    const tstring dllDir = FileUtils::dirname(jvm->getPath());
    SetDllDirectoryW(dllDir.c_str());
    TRACE_LOG("SetDllDirectory to: " << dllDir);

    // Declared in this order so that they are released in the reverse one:
    // the splash screen library, the launcher library, then the Jvm.
    const PreloadedDll jliDll(jvm->getPath());
    std::unique_ptr<PreloadedDll> splashDll;
    if (jvm->hasSplashOption()) {
        // The splash screen library needs the JVM library only while it loads.
        std::unique_ptr<PreloadedDll> jvmDll(new PreloadedDll(getServerJvmPath(*jvm)));
        splashDll.reset(
            new PreloadedDll(FileUtils::combinePath(dllDir, L"splashscreen.dll")));
        jvmDll.reset();
    }

    jvm->launch();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    return app::wlaunch(launchApp);
}
