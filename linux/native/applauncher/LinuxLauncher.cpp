#include <memory>

#include "AppLauncher.h"
#include "CfgFile.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "PackageFile.h"
#include "SysInfo.h"
#include "app.h"

namespace {

// Paths that reach the JVM (the APPDIR, BINDIR and ROOTDIR macros in the
// configuration, LD_LIBRARY_PATH) must be spelt the way the Linux runtime
// reads them, with '/' only; the neutral path functions insert '\'.
tstring joinPath(const tstring& parent, const tstring& child) {
    return FileUtils::removeTrailingSeparators(parent) + L'/' + child;
}

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
    return joinPath(home, L".config");
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
    launcher.addCfgFileLookupDir(joinPath(baseDir, packageName));
}

// The runtime reads a class path and a module path as one list whose
// entries the Linux runtime separates with ':'. The argument assembly joins
// the values of "app.classpath" with ';', which the runtime would take for a
// single missing file, and gives each value of "app.modulepath" an option of
// its own, of which the runtime keeps only the last. Joined here into one
// value, every entry counts.
void joinPathListForRuntime(CfgFile& cfgFile, const CfgFile::PropertyName& property) {
    const CfgFile::Properties& props = cfgFile.getProperties(CfgFile::application);
    const auto entry = props.find(property);
    if (entry == props.end() || entry->second.size() < 2) {
        return;
    }
    tstring joined;
    for (size_t i = 0; i < entry->second.size(); ++i) {
        if (i > 0) {
            joined += L':';
        }
        joined += entry->second[i];
    }
    cfgFile.setPropertyValue(CfgFile::application, property, tstring_array{joined});
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
    const tstring appDir = joinPath(imageRoot, L"app");

    const PackageFile packageFile = PackageFile::loadFromAppDir(appDir);

    AppLauncher launcher;
    launcher.setImageRoot(imageRoot)
        .addJvmLibName(L"lib/libjli.so")
        .setAppDir(appDir)
        .setLibEnvVariableName(L"LD_LIBRARY_PATH")
        .setLibEnvVariableSeparator(L":")
        .setDefaultRuntimePath(joinPath(imageRoot, L"runtime"));
    addUserCfgFileLookupDir(packageFile, launcher);

    // Loaded here rather than by createJvm so the path lists can be adapted;
    // it outlives every use the launcher makes of it.
    CfgFile cfgFile;
    {
        const std::unique_ptr<CfgFile> loaded(launcher.createCfgFile());
        cfgFile = *loaded;
    }
    joinPathListForRuntime(cfgFile, CfgFile::classpath);
    joinPathListForRuntime(cfgFile, CfgFile::modulepath);
    launcher.setExternalCfgFile(&cfgFile);

    const std::unique_ptr<Jvm> jvm(launcher.createJvm());
    jvm->launch();
}

} // namespace

int main() {
    return app::launch(launchApp);
}
