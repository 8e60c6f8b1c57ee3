#ifndef MORV_LAUNCHPLATFORM_H
#define MORV_LAUNCHPLATFORM_H

#include <filesystem>
#include <string>

#include "tstrings.h"

// What the launch core asks of the platform beyond the support library.
// Defined once per platform.

// Sets one variable of the current process environment from UTF-16 texts, as
// the launch data carries them on every platform. False when the platform
// refuses it; never raises.
bool setLaunchEnvVariable(const std::u16string& name, const std::u16string& value);

// The file that `path`, built with the launcher's path functions (which
// insert '\'), names on this platform.
std::filesystem::path toFileSystemPath(const tstring& path);

#endif
