// A library with its own copy of the support library, so that the module
// lookups answer for it and not for the test program.

#include "WinApi.h"

#include "SysInfo.h"

extern "C" __declspec(dllexport) int probeModulePath(wchar_t* buffer, int size) {
    const tstring path = SysInfo::getCurrentModulePath();
    if (static_cast<int>(path.size()) >= size) {
        return -1;
    }
    path.copy(buffer, path.size());
    buffer[path.size()] = L'\0';
    return static_cast<int>(path.size());
}
