#include "Dll.h"

#include <dlfcn.h>

#include "LinuxPaths.h"

namespace {

// dlerror() is the only description the loader gives; it is cleared by
// reading it, so it is read once, right after the failing call.
std::string loaderError() {
    const char* text = dlerror();
    return text ? text : "";
}

void* loadLibrary(const tstring& path) {
    void* handle = dlopen(linuxpaths::toNative(path).c_str(), RTLD_NOW);
    if (!handle) {
        const std::string error = loaderError();
        RAISE_ERROR(joinMessages((tstrings::MessageBuilder() << "dlopen(" << path << ") failed").utf8(),
                                 error));
    }
    return handle;
}

} // namespace

Dll::Dll(const tstring& path) : thePath(path), handle(loadLibrary(thePath)) {}

Dll::Dll(const Dll& other) : thePath(other.thePath), handle(nullptr) {
    // RTLD_NOLOAD: a new reference to the module already loaded, never a
    // second load of whatever the path names now.
    handle = dlopen(linuxpaths::toNative(thePath).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) {
        const std::string error = loaderError();
        RAISE_ERROR(joinMessages(
            (tstrings::MessageBuilder() << "dlopen(" << thePath << ", RTLD_NOLOAD) failed").utf8(), error));
    }
}

Dll::~Dll() {
    if (handle) {
        dlclose(handle);
    }
}

void* Dll::getFunction(const std::string& name, bool throwIfNotFound) const {
    dlerror();
    void* address = dlsym(handle, name.c_str());
    if (!address && throwIfNotFound) {
        const std::string error = loaderError();
        RAISE_ERROR(joinMessages(
            (tstrings::MessageBuilder() << "dlsym(" << thePath << ", " << name << ") failed").utf8(), error));
    }
    return address;
}
