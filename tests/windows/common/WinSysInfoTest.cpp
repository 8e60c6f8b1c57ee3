#include <gtest/gtest.h>

#include "WinApi.h"

#include "Dll.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "WinSysInfo.h"

namespace {

tstring rawSystemDir() {
    wchar_t buffer[MAX_PATH];
    const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
    return tstring(buffer, n);
}

TEST(WinSysInfoTest, EnvironmentValuesAroundTheFirstBuffer) {
    // The first read has room for 9 characters and the terminator.
    for (std::size_t n : {0, 1, 8, 9, 10, 11, 300, 5000}) {
        const tstring name = L"MORV_TEST_LEN_" + std::to_wstring(n);
        tstring value;
        for (std::size_t i = 0; i < n; ++i) {
            value += static_cast<wchar_t>(L'a' + i % 26);
        }
        ASSERT_TRUE(SetEnvironmentVariableW(name.c_str(), value.c_str()));
        EXPECT_EQ(value, SysInfo::getEnvVariable(name)) << "length " << n;
        EXPECT_EQ(value, SysInfo::getEnvVariable(nothrow, name, L"dflt")) << "length " << n;
        EXPECT_TRUE(SysInfo::isEnvVariableSet(name)) << "length " << n;
        SetEnvironmentVariableW(name.c_str(), nullptr);
    }
}

TEST(WinSysInfoTest, MissingVariableRaisesError203) {
    const tstring name = L"MORV_TEST_MISSING";
    SetEnvironmentVariableW(name.c_str(), nullptr);
    EXPECT_FALSE(SysInfo::isEnvVariableSet(name));
    try {
        SysInfo::getEnvVariable(name);
        FAIL() << "no raise";
    } catch (const VnError<SysError>& e) {
        const std::string description =
            tstrings::encodeUtf8(systemErrorText(ERROR_ENVVAR_NOT_FOUND, GetModuleHandleW(L"kernel32.dll")));
        EXPECT_EQ("GetEnvironmentVariable(MORV_TEST_MISSING) failed. Variable not set. System error [203](" +
                      description + ")",
                  std::string(e.plainMessage()));
        EXPECT_EQ(0u, description.find("system error 203 ("));
    }
    EXPECT_EQ(L"x", SysInfo::getEnvVariable(nothrow, name, L"x"));
}

TEST(WinSysInfoTest, SetEnvVariableFailureNamesVariableAndValue) {
    // An empty name is refused by the platform.
    try {
        SysInfo::setEnvVariable(L"", L"v");
        FAIL() << "no raise";
    } catch (const VnError<SysError>& e) {
        EXPECT_EQ(0u, std::string(e.plainMessage()).find("SetEnvironmentVariable(, v) failed. System error ["))
            << e.plainMessage();
    }
}

TEST(WinSysInfoTest, SystemDirHasNoTrailingSeparator) {
    const tstring dir = SysInfo::getSystemDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(L'\\', dir.back());
    EXPECT_NE(L'/', dir.back());
    EXPECT_EQ(FileUtils::removeTrailingSeparators(rawSystemDir()), dir);
    EXPECT_TRUE(FileUtils::pathExists(FileUtils::combinePath(dir, L"kernel32.dll")));
}

TEST(WinSysInfoTest, ProgramPathIsAbsolute) {
    const tstring path = SysInfo::getProcessModulePath();
    EXPECT_EQ(L':', path.at(1));
    EXPECT_TRUE(tstrings::hasSuffix(path, L"\\win_common_tests.exe", tstrings::CaseMode::IgnoreCase)) << path;
    EXPECT_EQ(path, SysInfo::getCurrentModulePath());
    EXPECT_EQ(GetModuleHandleW(nullptr), SysInfo::getCurrentModuleHandle());
}

// A module path of more than 260 characters needs the doubled buffer.
TEST(WinSysInfoTest, ModulePathLongerThanTheFirstBuffer) {
    const tstring probe = FileUtils::combinePath(FileUtils::dirname(SysInfo::getProcessModulePath()),
                                                 L"module_probe.dll");
    tstring dir = FileUtils::combinePath(FileUtils::dirname(probe), L"long-module-path");
    CreateDirectoryW(dir.c_str(), nullptr);
    while (dir.size() < 300) {
        FileUtils::appendPath(dir, tstring(40, L'd'));
        CreateDirectoryW(dir.c_str(), nullptr);
    }
    const tstring copy = FileUtils::combinePath(dir, L"module_probe.dll");
    ASSERT_TRUE(CopyFileW(probe.c_str(), copy.c_str(), FALSE)) << GetLastError();
    ASSERT_GT(copy.size(), 300u);
    {
        Dll lib(copy);
        typedef int (*Probe)(wchar_t*, int);
        const Probe probeModulePath = DllFunction<Probe>(lib, L"probeModulePath");
        std::vector<wchar_t> buffer(2048);
        const int n = probeModulePath(buffer.data(), static_cast<int>(buffer.size()));
        ASSERT_GT(n, 0);
        EXPECT_TRUE(tstrings::isEqual(copy, tstring(buffer.data(), n), tstrings::CaseMode::IgnoreCase))
            << tstring(buffer.data(), n);
    }
    DeleteFileW(copy.c_str());
}

} // namespace
