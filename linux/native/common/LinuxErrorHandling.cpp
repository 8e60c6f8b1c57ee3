#include "ErrorHandling.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstring>

namespace {

bool isTrailingJunk(wchar_t c) { return c <= L' ' || c == L'.'; }

// strerror() may hand out a shared buffer; the GNU strerror_r returns the
// text to use, which need not be the caller's buffer.
std::string errorString(int code) {
    char buffer[1024];
    const char* text = strerror_r(code, buffer, sizeof(buffer));
    return text ? text : "";
}

} // namespace

std::uint32_t lastSysErrorCode() { return static_cast<std::uint32_t>(errno); }

void* findModuleOfAddress(const void* address) {
    Dl_info info;
    if (!dladdr(address, &info) || !info.dli_fbase) {
        return nullptr;
    }
    return info.dli_fbase;
}

tstring describeSystemError(std::uint32_t errorCode, void*) {
    // POSIX error numbers have one table, whatever module raised them.
    tstring text = tstrings::decodeUtf8(errorString(static_cast<int>(errorCode)));
    for (wchar_t& c : text) {
        if (c < L' ') {
            c = L' ';
        }
    }
    while (!text.empty() && isTrailingJunk(text.back())) {
        text.pop_back();
    }
    if (text.empty()) {
        return L"No description available";
    }
    return text;
}

std::string crtErrorText() { return errorString(errno); }
