#ifndef MORV_LAUNCHDATA_H
#define MORV_LAUNCHDATA_H

#include <cstdint>

// The C layer between the launcher and the runtime's entry point: the
// flattened launch data, the table through which it is produced, and the call
// that starts the JVM from it. Plain C types only; failure is null or -1.

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

// Exported by the launcher program; the same static table on every call.
// MORV_EXPORT is defined by the build for the platform's way of exporting a
// symbol from a program.
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

#endif
