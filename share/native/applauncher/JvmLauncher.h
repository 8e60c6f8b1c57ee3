#ifndef MORV_JVMLAUNCHER_H
#define MORV_JVMLAUNCHER_H

#include "LaunchData.h"
#include "tstrings.h"

class CfgFile;

class Jvm {
public:
    Jvm();
    ~Jvm();
    Jvm(const Jvm&) = delete;
    Jvm& operator=(const Jvm&) = delete;

    Jvm& initFromConfigFile(const CfgFile& cfgFile);
    Jvm& addArgument(const tstring& value);
    Jvm& setPath(const tstring& v) {
        path = v;
        return *this;
    }
    const tstring& getPath() const { return path; }
    const tstring_array& getArguments() const { return args; }
    const tstring_array& getEnvVarNames() const { return envVarNames; }
    const tstring_array& getEnvVarValues() const { return envVarValues; }

    Jvm& addEnvVariable(const tstring& name, const tstring& value);
    bool hasSplashOption() const;
    void applyEnvVariables() const;

    // A new launch-data handle the caller owns (release it through the table).
    LaunchDataHandle exportLaunchData() const;

    // Starts the JVM through the runtime's JLI_Launch; returns after it
    // returned 0, raises otherwise.
    void launch();

private:
    tstring path;
    tstring_array args;
    tstring_array envVarNames;
    tstring_array envVarValues;
};

#endif
