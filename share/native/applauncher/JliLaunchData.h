#ifndef MORV_JLILAUNCHDATA_H
#define MORV_JLILAUNCHDATA_H

#include <cstdint>
#include <string>
#include <vector>

#include "tstrings.h"

// Everything a JVM start needs, as plain narrow and UTF-16 data, before it is
// flattened into one JvmlLauncherData block. What a LaunchDataHandle points to.
class JliLaunchData {
public:
    // The arguments go to the runtime in the ANSI code page, the library path
    // in UTF-8, the environment in UTF-16.
    JliLaunchData(const tstring& libraryPath, const tstring_array& args,
                  const tstring_array& envVarNames, const tstring_array& envVarValues);

    // With a null `buffer` only measures; otherwise writes the whole block,
    // which must have room for the measured size. Returns the size; raises
    // when it exceeds what a 32-bit size can say.
    std::int32_t initJvmlLauncherData(void* buffer) const;

private:
    std::string libraryPath;
    std::vector<std::string> args;
    tstring_array envVarNames;
    tstring_array envVarValues;
};

#endif
