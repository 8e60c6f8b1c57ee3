#ifndef MORV_LINUXPATHS_H
#define MORV_LINUXPATHS_H

#include <string>

#include "tstrings.h"

namespace linuxpaths {

// The bytes of `path` for a POSIX call. A backslash is an ordinary file-name
// character here and stays one; the path functions insert '/'. Bytes that
// are not UTF-8 come back as they were read (see tstrings::decodeUtf8).
inline std::string toNative(const tstring& path) { return tstrings::encodeUtf8(path); }

} // namespace linuxpaths

#endif
