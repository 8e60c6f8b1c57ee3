#include "LaunchPlatform.h"

#include <stdlib.h>

#include <string>

#include "LinuxPaths.h"

bool setLaunchEnvVariable(const std::u16string& name, const std::u16string& value) {
    const std::string narrowName = tstrings::encodeUtf8(tstrings::fromUtf16(name));
    const std::string narrowValue = tstrings::encodeUtf8(tstrings::fromUtf16(value));
    // The conversion gives an empty text for input it cannot convert (an
    // unpaired surrogate); setting that instead would lose the value unseen.
    if (narrowName.empty() || (narrowValue.empty() && !value.empty())) {
        return false;
    }
    return setenv(narrowName.c_str(), narrowValue.c_str(), 1) == 0;
}

std::filesystem::path toFileSystemPath(const tstring& path) {
    // The same mapping as every other file access of the Linux layer.
    return std::filesystem::path(linuxpaths::toNative(path));
}
