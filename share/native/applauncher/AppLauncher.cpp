#include "AppLauncher.h"

#include <memory>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "SysInfo.h"

namespace {

tstring findJvmLib(const CfgFile& cfgFile, const tstring& defaultRuntimePath,
                   const tstring_array& jvmLibNames) {
    const CfgFile::Properties& appOptions = cfgFile.getProperties(CfgFile::application);
    const auto it = appOptions.find(CfgFile::runtime);
    tstring runtimePath;
    if (it != appOptions.end()) {
        runtimePath = CfgFile::lastValue(*it);
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

bool AppLauncher::isAppDirInLibEnvVariable() const {
    const tstring value =
        tstrings::lowercase(SysInfo::getEnvVariable(nothrow, libEnvVarName, tstring()));
    const tstring appDir = tstrings::lowercase(appDirPath);
    for (const tstring& piece : tstrings::splitBy(value, libEnvVarSeparator)) {
        if (piece == appDir) {
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
    jvm->setPath(findJvmLib(cfgFile, defaultRuntimePath, jvmLibNames));
    jvm->addArgument(launcherPath);
    jvm->initFromConfigFile(cfgFile);
    return jvm.release();
}
