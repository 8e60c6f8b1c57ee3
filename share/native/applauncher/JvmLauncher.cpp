#include "JvmLauncher.h"

#include <cstdlib>
#include <memory>

#include "CfgFile.h"
#include "Dll.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JliLaunchData.h"
#include "Log.h"
#include "SysInfo.h"

Jvm::Jvm() {
    TRACE_LOG("Jvm(" << static_cast<const void*>(this) << ")::Jvm()");
}

Jvm::~Jvm() {
    // The record names this function, not the lambda it is built in.
    const SourcePos here = CURRENT_SOURCE_POS;
    reportAndContinue(here, [this, &here] {
        MORV_LOG_AT_POS(TRACE, here, "Jvm(" << static_cast<const void*>(this) << ")::~Jvm()");
    });
}

Jvm& Jvm::addArgument(const tstring& value) {
    args.push_back(value);
    return *this;
}

Jvm& Jvm::addEnvVariable(const tstring& name, const tstring& value) {
    envVarNames.push_back(name);
    envVarValues.push_back(value);
    return *this;
}

Jvm& Jvm::initFromConfigFile(const CfgFile& cfgFile) {
    const CfgFile::Properties& appOptions = cfgFile.getProperties(CfgFile::application);

    auto it = appOptions.find(CfgFile::modulepath);
    if (it != appOptions.end()) {
        // One option for all entries: the runtime keeps only the last of
        // several --module-path options, which would drop the others.
        addArgument(L"--module-path");
        addArgument(CfgFile::pathListValue(*it));
    }

    it = appOptions.find(CfgFile::classpath);
    if (it != appOptions.end()) {
        addArgument(L"-classpath");
        addArgument(CfgFile::pathListValue(*it));
    }

    it = appOptions.find(CfgFile::splash);
    if (it != appOptions.end()) {
        const tstring splashPath = CfgFile::lastValue(*it);
        if (FileUtils::pathExists(splashPath)) {
            addArgument(L"-splash:" + splashPath);
        } else {
            WARNING_LOG("Splash property ignored. File \"" << splashPath << "\" not found");
        }
    }

    const CfgFile::Properties& javaOptions = cfgFile.getProperties(CfgFile::javaOptions);
    it = javaOptions.find(CfgFile::javaOptionsProperty);
    if (it != javaOptions.end()) {
        for (const tstring& value : it->second) {
            addArgument(value);
        }
    }

    addArgument(L"-Dvarno.app-path=" + SysInfo::getProcessModulePath());

    it = appOptions.find(CfgFile::mainmodule);
    if (it != appOptions.end()) {
        addArgument(L"-m");
        addArgument(CfgFile::lastValue(*it));
    }

    it = appOptions.find(CfgFile::mainclass);
    if (it != appOptions.end()) {
        addArgument(CfgFile::lastValue(*it));
    }

    it = appOptions.find(CfgFile::mainjar);
    if (it != appOptions.end()) {
        addArgument(L"-jar");
        addArgument(CfgFile::lastValue(*it));
    }

    const CfgFile::Properties& argOptions = cfgFile.getProperties(CfgFile::argOptions);
    it = argOptions.find(CfgFile::arguments);
    if (it != argOptions.end()) {
        for (const tstring& value : it->second) {
            addArgument(value);
        }
    }
    return *this;
}

bool Jvm::hasSplashOption() const {
    for (const tstring& arg : args) {
        if (tstrings::hasPrefix(arg, L"-splash:", tstrings::CaseMode::Exact)) {
            return true;
        }
    }
    return false;
}

void Jvm::applyEnvVariables() const {
    for (size_t i = 0; i < envVarNames.size(); ++i) {
        SysInfo::setEnvVariable(envVarNames[i], envVarValues[i]);
    }
}

LaunchDataHandle Jvm::exportLaunchData() const {
    return new JliLaunchData(path, args, envVarNames, envVarValues);
}

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

} // namespace

void Jvm::launch() {
    LaunchDataHandle handle = exportLaunchData();
    // The handle belongs to createLaunchDataBuffer from here on.
    const std::unique_ptr<JvmlLauncherData, FreeDeleter> buffer(
        createLaunchDataBuffer(jvmLauncherGetAPI(), handle, nullptr));
    if (!buffer) {
        RAISE_ERROR(tstrings::MessageBuilder()
                    << "Failed to create the launch data of the JVM at \"" << path << "\"");
    }

    TRACE_LOG("JVM library: \"" << path << "\"");

    std::unique_ptr<DllFunction<void*>> jliLaunch;
    {
        // The function object holds a library reference of its own, so this
        // one can go at once.
        const Dll jli(path);
        jliLaunch.reset(new DllFunction<void*>(jli, L"JLI_Launch"));
    }

    const int rc = startJvmFromLaunchData(
        buffer.get(), reinterpret_cast<JLI_LaunchFunc>(static_cast<void*>(*jliLaunch)));
    if (rc != 0) {
        RAISE_ERROR("Failed to launch JVM");
    }
}
