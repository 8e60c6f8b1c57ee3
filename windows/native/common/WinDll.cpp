#include "Dll.h"

#include <windows.h>

#include "FileUtils.h"
#include "SysInfo.h"

namespace {

HMODULE loadLibrary(const tstring& path) {
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) {
        const DWORD error = GetLastError();
        RAISE_ERROR(SysError(tstrings::MessageBuilder() << "LoadLibraryW(" << path << ") failed",
                             reinterpret_cast<const void*>(&LoadLibraryW), error));
    }
    return module;
}

} // namespace

Dll::Dll(const tstring& path) : thePath(path), handle(loadLibrary(thePath)) {}

Dll::Dll(const tstring& name, const System&)
    : thePath(FileUtils::combinePath(SysInfo::getSystemDir(), name)), handle(loadLibrary(thePath)) {}

Dll::Dll(const Dll& other) : thePath(other.thePath), handle(nullptr) {
    HMODULE module = nullptr;
    // Flags 0: the module's reference count goes up, so this copy owns one.
    if (!GetModuleHandleExW(0, thePath.c_str(), &module)) {
        const DWORD error = GetLastError();
        RAISE_ERROR(SysError(tstrings::MessageBuilder() << "GetModuleHandleExW(" << thePath << ") failed",
                             reinterpret_cast<const void*>(&GetModuleHandleExW), error));
    }
    handle = module;
}

Dll::~Dll() {
    if (handle) {
        FreeLibrary(static_cast<HMODULE>(handle));
    }
}

void* Dll::getFunction(const std::string& name, bool throwIfNotFound) const {
    FARPROC address = GetProcAddress(static_cast<HMODULE>(handle), name.c_str());
    if (!address && throwIfNotFound) {
        const DWORD error = GetLastError();
        RAISE_ERROR(SysError(tstrings::MessageBuilder() << "GetProcAddress(" << thePath << ", " << name
                                                        << ") failed",
                             reinterpret_cast<const void*>(&GetProcAddress), error));
    }
    return reinterpret_cast<void*>(address);
}
