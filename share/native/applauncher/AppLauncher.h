#ifndef MORV_APPLAUNCHER_H
#define MORV_APPLAUNCHER_H

#include "tstrings.h"

class CfgFile;
class Jvm;

// Turns the layout of the application image into a ready Jvm.
class AppLauncher {
public:
    AppLauncher();

    AppLauncher& setImageRoot(const tstring& v) {
        imageRoot = v;
        return *this;
    }
    AppLauncher& setDefaultRuntimePath(const tstring& v) {
        defaultRuntimePath = v;
        return *this;
    }
    AppLauncher& setAppDir(const tstring& v) {
        appDirPath = v;
        return *this;
    }
    AppLauncher& setLibEnvVariableName(const tstring& v) {
        libEnvVarName = v;
        return *this;
    }
    // Separator of the library search variable's list; the platform's path
    // list separator unless set.
    AppLauncher& setLibEnvVariableSeparator(const tstring& v) {
        libEnvVarSeparator = v;
        return *this;
    }
    AppLauncher& addJvmLibName(const tstring& v) {
        jvmLibNames.push_back(v);
        return *this;
    }
    AppLauncher& addCfgFileLookupDir(const tstring& v) {
        cfgFileLookupDirs.push_back(v);
        return *this;
    }
    // Not owned: the caller keeps it alive while this launcher may use it.
    AppLauncher& setExternalCfgFile(const CfgFile* v) {
        externalCfgFile = v;
        return *this;
    }

    // The constructor takes these two from the running process; tests and
    // callers that launch on behalf of another program replace them.
    AppLauncher& setCommandArgs(const tstring_array& v) {
        commandArgs = v;
        return *this;
    }
    AppLauncher& setLauncherPath(const tstring& v) {
        launcherPath = v;
        return *this;
    }

    tstring getCfgFilePath() const;
    // A new, macro-expanded configuration the caller owns.
    CfgFile* createCfgFile() const;
    bool isAppDirInLibEnvVariable() const;
    // A new Jvm the caller owns.
    Jvm* createJvm() const;

    const tstring_array& getCommandArgs() const { return commandArgs; }
    const tstring& getLauncherPath() const { return launcherPath; }
    const tstring& getAppDir() const { return appDirPath; }

private:
    tstring_array commandArgs;
    tstring launcherPath;
    tstring defaultRuntimePath;
    tstring appDirPath;
    tstring libEnvVarName;
    tstring libEnvVarSeparator;
    tstring imageRoot;
    tstring_array jvmLibNames;
    tstring_array cfgFileLookupDirs;
    const CfgFile* externalCfgFile;
};

#endif
