#ifndef MORV_FILEUTILS_H
#define MORV_FILEUTILS_H

#include "tstrings.h"

// Paths as text. Both '\' and '/' separate on input; only the platform's
// own separator is inserted.
namespace FileUtils {

// The separator the path functions insert: '\' on Windows, '/' on Linux.
extern const wchar_t pathSeparator;
// The separator of path lists (PATH, class and module paths): ';' on
// Windows, ':' on Linux.
extern const wchar_t pathListSeparator;

tstring basename(const tstring& path);
tstring dirname(const tstring& path);
tstring combinePath(const tstring& parent, const tstring& child);
tstring& appendPath(tstring& path, const tstring& child);
tstring removeTrailingSeparators(const tstring& path);
tstring stripExtension(const tstring& path);

// False for a path that names its place from the current directory: on
// Windows one without a drive and not starting with a separator ("C:x",
// relative to the drive's current directory, counts as absolute here, since
// no other directory can be put in front of it); on Linux one that does not
// start with '/'. By text alone, like the functions above.
bool isAbsolutePath(const tstring& path);

// The two that ask the platform.
// True for an existing file or directory; any failure reads as false.
bool pathExists(const tstring& path);
// Absolute, normalised form; the current directory for an empty path.
tstring toAbsolutePath(const tstring& path);

} // namespace FileUtils

#endif
