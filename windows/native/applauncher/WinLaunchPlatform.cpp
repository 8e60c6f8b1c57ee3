#include "LaunchPlatform.h"

#include "WinApi.h"

bool setLaunchEnvVariable(const std::u16string& name, const std::u16string& value) {
    // wchar_t is UTF-16 here, so the texts are passed as they are.
    const std::wstring wideName(name.begin(), name.end());
    const std::wstring wideValue(value.begin(), value.end());
    return SetEnvironmentVariableW(wideName.c_str(), wideValue.c_str()) != 0;
}

std::filesystem::path toFileSystemPath(const tstring& path) {
    return std::filesystem::path(path);
}
