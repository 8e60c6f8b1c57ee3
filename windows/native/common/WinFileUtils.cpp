#include "FileUtils.h"

#include <windows.h>

#include <cstdlib>
#include <direct.h>

#include "ErrorHandling.h"

namespace FileUtils {

const wchar_t pathSeparator = L'\\';
const wchar_t pathListSeparator = L';';

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
    wchar_t* full = _wfullpath(nullptr, path.c_str(), 0);
    if (!full) {
        RAISE_ERROR(tstrings::MessageBuilder() << "_tfullpath(" << path << ") failed");
    }
    const tstring result(full);
    std::free(full);
    return result;
}

} // namespace FileUtils
