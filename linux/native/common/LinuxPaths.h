#ifndef MORV_LINUXPATHS_H
#define MORV_LINUXPATHS_H

#include <string>

#include "tstrings.h"

namespace linuxpaths {

// The neutral path functions take '\' for a separator and insert it; the
// file system knows only '/'. Every path handed to a POSIX call goes
// through this, so a combined path names the file it was built for.
inline std::string toNative(const tstring& path) {
    tstring p(path);
    for (wchar_t& c : p) {
        if (c == L'\\') {
            c = L'/';
        }
    }
    return tstrings::encodeUtf8(p);
}

} // namespace linuxpaths

#endif
