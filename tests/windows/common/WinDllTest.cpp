#include <gtest/gtest.h>

#include "WinApi.h"

#include "Dll.h"
#include "FileUtils.h"
#include "WinDll.h"
#include "WinSysInfo.h"

namespace {

tstring probePath() {
    return FileUtils::combinePath(FileUtils::dirname(SysInfo::getProcessModulePath()), L"module_probe.dll");
}

TEST(WinDllTest, LoadBySearchOrderAndFromTheSystemDirectory) {
    const Dll byName(L"kernel32.dll");
    EXPECT_EQ(L"kernel32.dll", byName.path());
    EXPECT_NE(nullptr, byName.getFunction("GetTickCount", true));

    const Dll system = systemDll(L"kernel32.dll");
    EXPECT_EQ(SysInfo::getSystemDir() + L"\\kernel32.dll", system.path());

    typedef int(WINAPI * LstrlenW)(LPCWSTR);
    const DllFunction<LstrlenW> lstrlen(system, L"lstrlenW");
    EXPECT_EQ(5, static_cast<LstrlenW>(lstrlen)(L"hello"));
}

TEST(WinDllTest, MissingLibraryAndFunction) {
    try {
        Dll missing(L"no-such-library-1234.dll");
        FAIL() << "no raise";
    } catch (const VnError<SysError>& e) {
        EXPECT_EQ(0u, std::string(e.plainMessage()).find("LoadLibraryW(no-such-library-1234.dll) failed. System error [126]("))
            << e.plainMessage();
        EXPECT_NE(std::string::npos, std::string(e.what()).find(" at loadLibrary(): LoadLibraryW("));
    }
    try {
        const Dll missing = systemDll(L"no-such-library-1234.dll");
        FAIL() << "no raise";
    } catch (const VnError<SysError>& e) {
        const std::string expected = "LoadLibraryW(" + tstrings::encodeUtf8(SysInfo::getSystemDir()) +
                                     "\\no-such-library-1234.dll) failed.";
        EXPECT_EQ(0u, std::string(e.plainMessage()).find(expected)) << e.plainMessage();
    }
    // A probe only beside the test program is not found in the system
    // directory.
    EXPECT_THROW(systemDll(L"module_probe.dll"), VnError<SysError>);

    const Dll kernel(L"kernel32.dll");
    EXPECT_EQ(nullptr, kernel.getFunction("NoSuchFunction", false));
    try {
        DllFunction<void (*)()> f(kernel, L"NoSuchFunction");
        FAIL() << "no raise";
    } catch (const VnError<SysError>& e) {
        EXPECT_EQ(0u, std::string(e.plainMessage()).find("GetProcAddress(kernel32.dll, NoSuchFunction) failed. System error [127]("))
            << e.plainMessage();
    }
}

TEST(WinDllTest, EveryCopyHoldsItsOwnReference) {
    const tstring path = probePath();
    ASSERT_EQ(nullptr, GetModuleHandleW(path.c_str()));
    {
        Dll* original = new Dll(path);
        Dll copy(*original);
        delete original;
        EXPECT_NE(nullptr, GetModuleHandleW(path.c_str()));
        {
            DllFunction<int (*)(wchar_t*, int)> f(copy, L"probeModulePath");
            EXPECT_NE(nullptr, f.get());
        }
        EXPECT_NE(nullptr, GetModuleHandleW(path.c_str()));
    }
    EXPECT_EQ(nullptr, GetModuleHandleW(path.c_str()));

    // A function object keeps the library loaded after its Dll is gone.
    DllFunction<int (*)(wchar_t*, int)>* f = nullptr;
    {
        const Dll lib(path);
        f = new DllFunction<int (*)(wchar_t*, int)>(lib, L"probeModulePath");
    }
    EXPECT_NE(nullptr, GetModuleHandleW(path.c_str()));
    wchar_t buffer[1024];
    EXPECT_GT(static_cast<int (*)(wchar_t*, int)>(*f)(buffer, 1024), 0);
    delete f;
    EXPECT_EQ(nullptr, GetModuleHandleW(path.c_str()));
}

} // namespace
