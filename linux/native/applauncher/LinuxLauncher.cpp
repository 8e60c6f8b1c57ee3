#include <memory>

#include "AppLauncher.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "PackageFile.h"
#include "SysInfo.h"
#include "app.h"

namespace {

// The per-user configuration directory of the XDG base directory rules:
// $XDG_CONFIG_HOME, else $HOME/.config. A relative or empty XDG_CONFIG_HOME
// is to be ignored by those rules, so it falls back to HOME as well; without
// either there is no per-user directory.
tstring userConfigDir() {
    const tstring xdgConfigHome = SysInfo::getEnvVariable(nothrow, L"XDG_CONFIG_HOME", L"");
    if (tstrings::hasPrefix(xdgConfigHome, L"/")) {
        return xdgConfigHome;
    }
    const tstring home = SysInfo::getEnvVariable(nothrow, L"HOME", L"");
    if (home.empty()) {
        return tstring();
    }
    return FileUtils::combinePath(home, L".config");
}

void addUserCfgFileLookupDir(const PackageFile& packageFile, AppLauncher& launcher) {
    const tstring packageName = packageFile.getPackageName();
    if (packageName.empty()) {
        return;
    }
    const tstring baseDir = userConfigDir();
    if (baseDir.empty()) {
        TRACE_LOG("No per-user configuration directory: neither XDG_CONFIG_HOME nor HOME is set");
        return;
    }
    launcher.addCfgFileLookupDir(FileUtils::combinePath(baseDir, packageName));
}

// The JVM runs inside this process, so nothing can outlive the launcher and,
// unlike on Windows, no restart in a job object is needed. LD_LIBRARY_PATH is
// read by the dynamic loader only at process start, so extending it affects
// what the JVM makes of it (java.library.path), not how this process finds
// the runtime's libraries: those are loaded by full path.
void launchApp() {
    const tstring launcherPath = SysInfo::getProcessModulePath();
    tstring imageRoot = FileUtils::dirname(launcherPath);
    if (imageRoot.empty()) {
        // A launcher in the root directory: dirname gives nothing for "/morv".
        imageRoot = L"/";
    }
    const tstring appDir = FileUtils::combinePath(imageRoot, L"app");

    const PackageFile packageFile = PackageFile::loadFromAppDir(appDir);

    AppLauncher launcher;
    launcher.setImageRoot(imageRoot)
        .addJvmLibName(L"lib/libjli.so")
        .setAppDir(appDir)
        .setLibEnvVariableName(L"LD_LIBRARY_PATH")
        .setDefaultRuntimePath(FileUtils::combinePath(imageRoot, L"runtime"));
    addUserCfgFileLookupDir(packageFile, launcher);

    const std::unique_ptr<Jvm> jvm(launcher.createJvm());
    jvm->launch();
}

} // namespace

int main() {
    return app::launch(launchApp);
}
