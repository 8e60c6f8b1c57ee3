#include "FileUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "ErrorHandling.h"
#include "LinuxPaths.h"

namespace {

std::string currentDirectory() {
    // Null buffer: glibc allocates the text; we free it.
    char* cwd = getcwd(nullptr, 0);
    if (!cwd) {
        RAISE_SYS_ERROR(&getcwd, "getcwd() failed");
    }
    std::string result(cwd);
    std::free(cwd);
    if (result.empty()) {
        RAISE_ERROR("getcwd() returned empty string");
    }
    return result;
}

// Like the Windows full-path function: resolved against the current
// directory and with "." and ".." removed by text, not by the file system,
// so the path need not exist.
std::string normalise(const std::string& absolute) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= absolute.size()) {
        std::string::size_type end = absolute.find('/', start);
        if (end == std::string::npos) {
            end = absolute.size();
        }
        const std::string part = absolute.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& part : parts) {
        result += '/';
        result += part;
    }
    return result.empty() ? "/" : result;
}

} // namespace

namespace FileUtils {

const wchar_t pathSeparator = L'/';
const wchar_t pathListSeparator = L':';

bool isAbsolutePath(const tstring& path) { return !path.empty() && path[0] == L'/'; }

bool pathExists(const tstring& path) {
    struct stat st;
    return !path.empty() && stat(linuxpaths::toNative(path).c_str(), &st) == 0;
}

tstring toAbsolutePath(const tstring& path) {
    if (path.empty()) {
        return tstrings::decodeUtf8(currentDirectory());
    }
    std::string native = linuxpaths::toNative(path);
    if (native.empty()) {
        RAISE_ERROR(tstrings::MessageBuilder() << "toAbsolutePath(" << path
                                               << ") failed: not representable as UTF-8");
    }
    if (native[0] != '/') {
        native = currentDirectory() + "/" + native;
    }
    return tstrings::decodeUtf8(normalise(native));
}

} // namespace FileUtils
