#ifndef MORV_JVMLAUNCHER_H
#define MORV_JVMLAUNCHER_H

#include <cstdint>

#include "tstrings.h"

class CfgFile;

extern "C" {

// The flattened launch data: one self-contained block whose pointers all
// point into itself. 64-bit pointers, little-endian.
struct JvmlLauncherData {
    char* libraryPath;      // UTF-8
    std::int32_t argCount;
    std::int32_t envCount;
    char** args;            // argCount + 1 entries, the last one null
    void** envNames;        // envCount UTF-16 texts, 0-terminated
    void** envValues;       // one UTF-16 text per name, 0-terminated
};

typedef void* LaunchDataHandle;

struct LaunchDataApi {
    void (*closeHandle)(LaunchDataHandle handle);
    std::int32_t (*getJvmlLauncherDataSize)(LaunchDataHandle handle);
    JvmlLauncherData* (*initJvmlLauncherData)(LaunchDataHandle handle, void* buffer,
                                              std::int32_t bufferSize);
};

// The runtime's entry point.
typedef int (*JLI_LaunchFunc)(int argc, char** argv, int jargc, const char** jargv,
                              int appclassc, const char** appclassv, const char* fullversion,
                              const char* dotversion, const char* pname, const char* lname,
                              bool javaargs, bool cpwildcard, bool javaw, std::int32_t ergo);

#if defined(_WIN32)
#define MORV_EXPORT __declspec(dllexport)
#else
#define MORV_EXPORT __attribute__((visibility("default")))
#endif

// Exported by the launcher program; the same static table on every call.
MORV_EXPORT LaunchDataApi* jvmLauncherGetAPI(void);

// A malloc'ed block holding the filled launch data, or null; always takes
// over `handle`. `sizeOut` may be null.
JvmlLauncherData* createLaunchDataBuffer(LaunchDataApi* api, LaunchDataHandle handle,
                                         std::int32_t* sizeOut);

// Sets the block's environment variables and calls `jliLaunch`.
int startJvmFromLaunchData(const JvmlLauncherData* data, JLI_LaunchFunc jliLaunch);

// printf-style trace line on standard error when VARNO_DEBUG is "true".
void debugPrint(const char* format, ...);

} // extern "C"

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
