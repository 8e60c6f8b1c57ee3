#include "FileUtils.h"

#include "WinApi.h"

#include <cstdlib>
#include <direct.h>
#include <vector>

#include "ErrorHandling.h"

namespace FileUtils {

const wchar_t pathSeparator = L'\\';
const wchar_t pathListSeparator = L';';

bool isAbsolutePath(const tstring& path) {
    if (!path.empty() && (path[0] == L'\\' || path[0] == L'/')) {
        return true;
    }
    return path.size() >= 2 && path[1] == L':' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

bool pathExists(const tstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

tstring toAbsolutePath(const tstring& path) {
    if (path.empty()) {
        // Null buffer: the runtime allocates the text; we free it.
        wchar_t* cwd = _wgetcwd(nullptr, 0);
        if (!cwd) {
            RAISE_ERROR("_tgetcwd() failed");
        }
        const tstring result(cwd);
        std::free(cwd);
        if (result.empty()) {
            RAISE_ERROR("_tgetcwd() returned empty string");
        }
        return result;
    }
    // The system call with a buffer that grows: the C runtime's full-path
    // function stops at MAX_PATH, and the launcher must run from any path
    // the file system allows, as its manifest declares.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()),
                                         buffer.data(), nullptr);
        if (n == 0) {
            RAISE_ERROR(tstrings::MessageBuilder() << "_tfullpath(" << path << ") failed");
        }
        // Fitted: n is the length without the terminator. Otherwise n is the
        // size needed, terminator included.
        if (n < buffer.size()) {
            return tstring(buffer.data(), n);
        }
        buffer.resize(n);
    }
}

} // namespace FileUtils
