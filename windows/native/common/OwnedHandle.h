#ifndef MORV_OWNEDHANDLE_H
#define MORV_OWNEDHANDLE_H

#include "WinApi.h"

// Owns one kernel handle and closes it with CloseHandle. A null handle is
// "nothing held"; INVALID_HANDLE_VALUE is not special-cased, because the
// calls whose handles land here report failure with null.
class OwnedHandle {
public:
    OwnedHandle() noexcept : handle(nullptr) {}
    explicit OwnedHandle(HANDLE h) noexcept : handle(h) {}
    OwnedHandle(OwnedHandle&& other) noexcept : handle(other.release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { reset(); }

    HANDLE get() const noexcept { return handle; }
    explicit operator bool() const noexcept { return handle != nullptr; }

    // Gives up ownership without closing.
    HANDLE release() noexcept {
        HANDLE h = handle;
        handle = nullptr;
        return h;
    }

    // Closes the handle held (if any) and takes `h`.
    void reset(HANDLE h = nullptr) noexcept {
        if (handle && handle != h) {
            CloseHandle(handle);
        }
        handle = h;
    }

private:
    HANDLE handle;
};

#endif
