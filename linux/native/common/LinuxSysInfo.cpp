#include "SysInfo.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "ErrorHandling.h"
#include "FileUtils.h"

namespace {

std::string readLink(const char* link) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink(link, buffer.data(), buffer.size());
        if (n < 0) {
            RAISE_SYS_ERROR(&readlink, "readlink(" << link << ") failed");
        }
        // A result that fills the buffer may have been cut.
        if (static_cast<std::size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(n));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string envName(const tstring& name) { return tstrings::encodeUtf8(name); }

} // namespace

namespace SysInfo {

tstring_array getCommandArgs(ArgsMode mode) {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    if (!in) {
        RAISE_ERROR("Cannot read /proc/self/cmdline");
    }
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Each argument is followed by a zero byte, the last one included.
    tstring_array args;
    std::string::size_type start = 0;
    while (start < all.size()) {
        std::string::size_type end = all.find('\0', start);
        if (end == std::string::npos) {
            end = all.size();
        }
        args.push_back(tstrings::decodeUtf8(all.substr(start, end - start)));
        start = end + 1;
    }
    if (mode == ArgsMode::WithoutProgramName && !args.empty()) {
        args.erase(args.begin());
    }
    return args;
}

tstring getProcessModulePath() { return tstrings::decodeUtf8(readLink("/proc/self/exe")); }

void* getCurrentModuleHandle() {
    Dl_info info;
    if (!dladdr(reinterpret_cast<const void*>(&getCurrentModuleHandle), &info) || !info.dli_fbase) {
        RAISE_ERROR("dladdr() failed");
    }
    return info.dli_fbase;
}

tstring getCurrentModulePath() {
    Dl_info info;
    link_map* map = nullptr;
    if (!dladdr1(reinterpret_cast<const void*>(&getCurrentModulePath), &info,
                 reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) ||
        !map) {
        RAISE_ERROR("dladdr() failed");
    }
    // The program itself has an empty name in the link map (dladdr would
    // give argv[0], which may be relative or made up).
    if (!map->l_name || !map->l_name[0]) {
        return getProcessModulePath();
    }
    return tstrings::decodeUtf8(map->l_name);
}

tstring getEnvVariable(const tstring& name) {
    const char* value = std::getenv(envName(name).c_str());
    if (!value) {
        RAISE_ERROR(tstrings::MessageBuilder() << "GetEnvironmentVariable(" << name
                                               << ") failed. Variable not set");
    }
    return tstrings::decodeUtf8(value);
}

tstring getEnvVariable(const nothrow_t&, const tstring& name, const tstring& defaultValue) {
    try {
        const char* value = std::getenv(envName(name).c_str());
        return value ? tstrings::decodeUtf8(value) : defaultValue;
    } catch (...) {
        return defaultValue;
    }
}

bool isEnvVariableSet(const tstring& name) { return std::getenv(envName(name).c_str()) != nullptr; }

void setEnvVariable(const tstring& name, const tstring& value) {
    if (setenv(envName(name).c_str(), tstrings::encodeUtf8(value).c_str(), 1) != 0) {
        RAISE_SYS_ERROR(&setenv,
                        "SetEnvironmentVariable(" << name << ", " << value << ") failed");
    }
}

} // namespace SysInfo
