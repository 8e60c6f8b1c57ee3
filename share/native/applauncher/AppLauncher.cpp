#include "AppLauncher.h"

#include <memory>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "SysInfo.h"

namespace {

// A relative "app.runtime" is taken from the image root, which holds the
// default runtime too: resolved against the current directory, the same
// image would find its runtime or not depending on where it was started.
tstring findJvmLib(const CfgFile& cfgFile, const tstring& imageRoot,
                   const tstring& defaultRuntimePath, const tstring_array& jvmLibNames) {
    const CfgFile::Properties& appOptions = cfgFile.getProperties(CfgFile::application);
    const auto it = appOptions.find(CfgFile::runtime);
    tstring runtimePath;
    if (it != appOptions.end()) {
        runtimePath = CfgFile::lastValue(*it);
        if (!FileUtils::isAbsolutePath(runtimePath)) {
            runtimePath = FileUtils::combinePath(imageRoot, runtimePath);
        }
    } else {
        runtimePath = defaultRuntimePath;
        TRACE_LOG("Property \"" << CfgFile::runtime.name() << "\" not found in \""
                                << CfgFile::application.name()
                                << "\" section of launcher config file."
                                << " Using Java runtime from \"" << runtimePath
                                << "\" directory");
    }

    for (const tstring& libName : jvmLibNames) {
        const tstring libPath = FileUtils::combinePath(runtimePath, libName);
        if (FileUtils::pathExists(libPath)) {
            return libPath;
        }
    }

    RAISE_ERROR(tstrings::MessageBuilder()
                << "Failed to find JVM in \"" << runtimePath << "\" directory.");
}

} // namespace

AppLauncher::AppLauncher()
    : commandArgs(SysInfo::getCommandArgs(ArgsMode::WithoutProgramName)),
      launcherPath(SysInfo::getProcessModulePath()),
      libEnvVarSeparator(1, FileUtils::pathListSeparator),
      externalCfgFile(nullptr) {}

tstring AppLauncher::getCfgFilePath() const {
    const tstring cfgFileName =
        FileUtils::stripExtension(FileUtils::basename(launcherPath)) + L".cfg";

    for (const tstring& dir : cfgFileLookupDirs) {
        const tstring candidate = FileUtils::combinePath(dir, cfgFileName);
        TRACE_LOG("Check [" << candidate << "] file exit");
        if (FileUtils::pathExists(candidate)) {
            return candidate;
        }
    }

    return FileUtils::combinePath(appDirPath, cfgFileName);
}

CfgFile* AppLauncher::createCfgFile() const {
    const tstring cfgFilePath = getCfgFilePath();
    TRACE_LOG("Launcher config file path: \"" << cfgFilePath << "\"");

    CfgFile::Macros macros;
    macros[L"APPDIR"] = appDirPath;
    macros[L"BINDIR"] = FileUtils::dirname(launcherPath);
    macros[L"ROOTDIR"] = imageRoot;

    return new CfgFile(CfgFile::load(cfgFilePath).expandMacros(macros));
}

// An entry is a stretch of the list between separators or its ends. The
// application directory may hold the separator itself (a directory named
// "a;b" on Windows): it is then found as a run of whole pieces, just as the
// restart appended it, and the restarted child does not restart again.
bool AppLauncher::isAppDirInLibEnvVariable() const {
    const tstring value =
        tstrings::lowercase(SysInfo::getEnvVariable(nothrow, libEnvVarName, tstring()));
    const tstring appDir = tstrings::lowercase(appDirPath);
    if (appDir.empty()) {
        // An empty entry names nothing (or, in a ':' list, the current
        // directory); it never stands for the application directory.
        return false;
    }
    for (tstring::size_type pos = value.find(appDir); pos != tstring::npos;
         pos = value.find(appDir, pos + 1)) {
        const tstring::size_type end = pos + appDir.size();
        const tstring::size_type sep = libEnvVarSeparator.size();
        const bool startsEntry =
            pos == 0 || (pos >= sep && value.compare(pos - sep, sep, libEnvVarSeparator) == 0);
        const bool endsEntry = end == value.size() ||
                               value.compare(end, sep, libEnvVarSeparator) == 0;
        if (startsEntry && endsEntry) {
            return true;
        }
    }
    return false;
}

Jvm* AppLauncher::createJvm() const {
    CfgFile cfgFile;
    if (externalCfgFile) {
        cfgFile = *externalCfgFile;
    } else {
        const std::unique_ptr<CfgFile> loaded(createCfgFile());
        cfgFile = *loaded;
    }

    if (!commandArgs.empty()) {
        cfgFile.setPropertyValue(CfgFile::argOptions, CfgFile::arguments, commandArgs);
    }

    std::unique_ptr<Jvm> jvm(new Jvm());
    if (!isAppDirInLibEnvVariable()) {
        tstring value = SysInfo::getEnvVariable(nothrow, libEnvVarName, tstring());
        // An empty entry of a ':' list names the current directory, so no
        // separator goes in front of the first entry there. Windows skips
        // empty PATH entries and keeps the leading ';' of an unset PATH.
        if (!value.empty() || libEnvVarSeparator == L";") {
            value += libEnvVarSeparator;
        }
        jvm->addEnvVariable(libEnvVarName, value + appDirPath);
    }
    jvm->setPath(findJvmLib(cfgFile, imageRoot, defaultRuntimePath, jvmLibNames));
    jvm->addArgument(launcherPath);
    jvm->initFromConfigFile(cfgFile);
    return jvm.release();
}
