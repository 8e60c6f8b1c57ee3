#include "Dll.h"

#include <dlfcn.h>

#include "LinuxPaths.h"

// dlerror() is the only description the loader gives; it is cleared by
// reading it, so it is read once, right after the failing call, before the
// message (streamed into a tstrings::MessageBuilder) is built.
#define RAISE_LOADER_ERROR(msg)                                                                 \
    do {                                                                                       \
        const char* morvLoaderError_ = dlerror();                                              \
        const std::string morvDescription_ = morvLoaderError_ ? morvLoaderError_ : "";          \
        RAISE_ERROR(joinMessages((tstrings::MessageBuilder() << msg).utf8(), morvDescription_)); \
    } while (false)

namespace {

void* loadLibrary(const tstring& path) {
    void* handle = dlopen(linuxpaths::toNative(path).c_str(), RTLD_NOW);
    if (!handle) {
        RAISE_LOADER_ERROR("dlopen(" << path << ") failed");
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
        RAISE_LOADER_ERROR("dlopen(" << thePath << ", RTLD_NOLOAD) failed");
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
        RAISE_LOADER_ERROR("dlsym(" << thePath << ", " << name << ") failed");
    }
    return address;
}
