#ifndef MORV_DLL_H
#define MORV_DLL_H

#include <string>

#include "ErrorHandling.h"
#include "tstrings.h"

// An owned reference to a loaded shared library.
class Dll {
public:
    // Loads `path` with the platform's default search order.
    explicit Dll(const tstring& path);
    // Takes a reference of its own to the module already loaded under the
    // same path, so the two can be destroyed in any order.
    Dll(const Dll& other);
    Dll& operator=(const Dll&) = delete;
    ~Dll();

    const tstring& path() const { return thePath; }
    // The address of `name`, or null (or a raise) when it is not exported.
    void* getFunction(const std::string& name, bool throwIfNotFound) const;

private:
    tstring thePath;
    void* handle;
};

// A function looked up in a library, keeping the library loaded while it lives.
template <class F>
class DllFunction {
public:
    DllFunction(const Dll& dll, const tstring& name)
        : lib(dll), funcPtr(nullptr), funcName(tstrings::encodeUtf8(name)) {
        funcPtr = lib.getFunction(funcName, true);
    }

    operator F() const {
        if (!funcPtr) {
            RAISE_ERROR(tstrings::MessageBuilder(funcName)
                        << "() function is not available in " << lib.path());
        }
        return reinterpret_cast<F>(funcPtr);
    }

    void* get() const { return funcPtr; }

private:
    Dll lib;
    void* funcPtr;
    std::string funcName;
};

#endif
