#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FileUtils.h"
#include "ErrorHandling.h"
#include "SysInfo.h"

namespace {

TEST(SysInfoTest, EnvironmentKeepsNotSetApartFromEmpty) {
    const tstring unset = L"MORV_TEST_NEVER_SET_\u4E2D";
    const tstring empty = L"MORV_TEST_EMPTY";
    const tstring value = L"MORV_TEST_VALUE";
    SysInfo::setEnvVariable(empty, L"");
    SysInfo::setEnvVariable(value, L"J\u00FCrgen \u4E2D and some more text");

    EXPECT_FALSE(SysInfo::isEnvVariableSet(unset));
    EXPECT_EQ(L"dflt", SysInfo::getEnvVariable(nothrow, unset, L"dflt"));
    try {
        SysInfo::getEnvVariable(unset);
        ADD_FAILURE() << "no raise for a missing variable";
    } catch (const VnErrorBase& e) {
        EXPECT_EQ(0u, std::string(e.plainMessage()).find("GetEnvironmentVariable(" + tstrings::encodeUtf8(unset) +
                                                          ") failed. Variable not set"))
            << e.plainMessage();
    }

    EXPECT_TRUE(SysInfo::isEnvVariableSet(empty));
    EXPECT_EQ(L"", SysInfo::getEnvVariable(empty));
    EXPECT_EQ(L"", SysInfo::getEnvVariable(nothrow, empty, L"dflt"));

    EXPECT_TRUE(SysInfo::isEnvVariableSet(value));
    EXPECT_EQ(L"J\u00FCrgen \u4E2D and some more text", SysInfo::getEnvVariable(value));
    EXPECT_EQ(L"J\u00FCrgen \u4E2D and some more text", SysInfo::getEnvVariable(nothrow, value, L"dflt"));
}

TEST(SysInfoTest, ProgramAndModulePaths) {
    const tstring program = SysInfo::getProcessModulePath();
    EXPECT_EQ(program, FileUtils::toAbsolutePath(program));
    EXPECT_TRUE(FileUtils::pathExists(program));
    EXPECT_TRUE(tstrings::hasPrefix(FileUtils::basename(program), L"common_tests", tstrings::CaseMode::IgnoreCase));
    // The support library is linked into this program.
    EXPECT_NE(nullptr, SysInfo::getCurrentModuleHandle());
    EXPECT_EQ(FileUtils::basename(program), FileUtils::basename(SysInfo::getCurrentModulePath()));
}

TEST(SysInfoTest, CommandArguments) {
    const tstring_array with = SysInfo::getCommandArgs(ArgsMode::WithProgramName);
    const tstring_array without = SysInfo::getCommandArgs(ArgsMode::WithoutProgramName);
    ASSERT_FALSE(with.empty());
    ASSERT_EQ(with.size(), without.size() + 1);
    EXPECT_TRUE(std::equal(without.begin(), without.end(), with.begin() + 1));
    // The arguments as the C runtime handed them to main(), before
    // GoogleTest took its options out.
    const std::vector<std::string> argv = ::testing::internal::GetArgvs();
    ASSERT_EQ(argv.size(), with.size());
    for (std::size_t i = 1; i < argv.size(); ++i) {
        EXPECT_EQ(tstrings::decodeUtf8(argv[i]), with[i]) << "argument " << i;
    }
}

} // namespace
