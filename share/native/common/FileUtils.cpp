#include "FileUtils.h"

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

const wchar_t* const kSeparators = L"\\/";

} // namespace

namespace FileUtils {

tstring basename(const tstring& path) {
    const tstring::size_type pos = path.find_last_of(kSeparators);
    return pos == tstring::npos ? path : path.substr(pos + 1);
}

tstring dirname(const tstring& path) {
    tstring::size_type searchEnd = path.size();
    // "dir/." names dir itself; its parent is what is wanted.
    if (path.size() >= 2 && path[path.size() - 1] == L'.' && isSeparator(path[path.size() - 2])) {
        searchEnd -= 2;
    }
    if (searchEnd == 0) {
        return tstring();
    }
    const tstring::size_type sep = path.find_last_of(kSeparators, searchEnd - 1);
    if (sep == tstring::npos) {
        return tstring();
    }
    const tstring::size_type last = path.find_last_not_of(kSeparators, sep);
    if (last == tstring::npos) {
        return tstring();
    }
    return path.substr(0, last + 1);
}

tstring combinePath(const tstring& parent, const tstring& child) {
    if (parent.empty()) {
        return child;
    }
    if (child.empty()) {
        return parent;
    }
    tstring result = removeTrailingSeparators(parent);
    result += pathSeparator;
    result.append(child, isSeparator(child[0]) ? 1 : 0, tstring::npos);
    return result;
}

tstring& appendPath(tstring& path, const tstring& child) {
    path = combinePath(path, child);
    return path;
}

tstring removeTrailingSeparators(const tstring& path) {
    const tstring::size_type last = path.find_last_not_of(kSeparators);
    return last == tstring::npos ? tstring() : path.substr(0, last + 1);
}

tstring stripExtension(const tstring& path) {
    const tstring::size_type dot = path.rfind(L'.');
    if (dot == tstring::npos) {
        return path;
    }
    const tstring::size_type sep = path.find_last_of(kSeparators);
    if (sep != tstring::npos && sep > dot) {
        return path;
    }
    return path.substr(0, dot);
}

} // namespace FileUtils
