#include "WinDll.h"

#include "WinApi.h"

#include "FileUtils.h"
#include "WinSysInfo.h"

namespace {

HMODULE loadLibrary(const tstring& path) {
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) {
        RAISE_SYS_ERROR(&LoadLibraryW, "LoadLibraryW(" << path << ") failed");
    }
    return module;
}

} // namespace

Dll::Dll(const tstring& path) : thePath(path), handle(loadLibrary(thePath)) {}

Dll systemDll(const tstring& name) { return Dll(FileUtils::combinePath(SysInfo::getSystemDir(), name)); }

Dll::Dll(const Dll& other) : thePath(other.thePath), handle(nullptr) {
    HMODULE module = nullptr;
    // Flags 0: the module's reference count goes up, so this copy owns one.
    if (!GetModuleHandleExW(0, thePath.c_str(), &module)) {
        RAISE_SYS_ERROR(&GetModuleHandleExW, "GetModuleHandleExW(" << thePath << ") failed");
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
        RAISE_SYS_ERROR(&GetProcAddress, "GetProcAddress(" << thePath << ", " << name << ") failed");
    }
    return reinterpret_cast<void*>(address);
}
