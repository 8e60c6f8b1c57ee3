#include <gtest/gtest.h>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "PackageFile.h"
#include "TestSupport.h"

using testsupport::CapturedLog;
using testsupport::TempDir;

namespace {

// "demo\xFF" as the system's legacy decoding reads it: code page 1252 on
// Windows (the system locale's under Wine), byte for byte on Linux.
#ifdef _WIN32
const tstring legacyDemo = L"demo\u00FF";
#else
const tstring legacyDemo = L"demo\xDCFF";
#endif

TEST(PackageFile, ReadsTheFirstLine) {
    struct Case {
        const char* name;
        std::string text;
        tstring expected;
    };
    const Case cases[] = {
        {"CR LF and more lines", "demo-app\r\nsecond\r\n", L"demo-app"},
        {"no line end", "demo-app", L"demo-app"},
        {"LF", "demo-app\nx", L"demo-app"},
        {"begins with an empty line", "\ndemo-app\n", L""},
        {"empty file", "", L""},
        {"blanks are kept", " demo-app \n", L" demo-app "},
        {"non-ASCII", "d\xC3\xA9mo\n", L"d\u00E9mo"},
        {"not UTF-8: the legacy encoding", "demo\xFF\n", legacyDemo},
        {"byte-order mark", "\xEF\xBB\xBF" "demo-app\r\n", L"demo-app"},
        {"byte-order mark only", "\xEF\xBB\xBF\n", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write(".package", c.text);
        CapturedLog log;
        EXPECT_EQ(PackageFile::loadFromAppDir(testsupport::toT(dir.path())).getPackageName(), c.expected);
        const tstring path = FileUtils::combinePath(testsupport::toT(dir.path()), L".package");
        // An empty file has no first line, so no name to report.
        std::vector<tstring> traces = {L"Read \"" + path + L"\" package file"};
        if (!c.text.empty()) {
            traces.push_back(L"Package name is [" + c.expected + L"]");
        }
        EXPECT_EQ(log.messages(L"TRACE"), traces);
        EXPECT_EQ(log.functions(L"TRACE"),
                  std::vector<tstring>(traces.size(), L"PackageFile::loadFromAppDir"));
        std::vector<tstring> warnings;
        if (c.expected == legacyDemo) {
            warnings.push_back(L"Line 1 of \"" + path +
                               L"\" file is not valid UTF-8; read in the system's legacy encoding");
        }
        EXPECT_EQ(log.messages(L"WARNING"), warnings);
    }
}

TEST(PackageFile, MissingFileGivesAnEmptyName) {
    TempDir dir;
    CapturedLog log;
    EXPECT_EQ(PackageFile::loadFromAppDir(testsupport::toT(dir.path())).getPackageName(), L"");
    EXPECT_TRUE(log.records.empty());
}

TEST(PackageFile, DirectoryCannotBeOpened) {
    TempDir dir;
    dir.write(".package/inner", "x");
    try {
        PackageFile::loadFromAppDir(testsupport::toT(dir.path()));
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& e) {
        const VnErrorBase* vn = dynamic_cast<const VnErrorBase*>(&e);
        ASSERT_NE(vn, nullptr);
        const std::string prefix =
            "Error opening \"" + tstrings::encodeUtf8(FileUtils::combinePath(testsupport::toT(dir.path()), L".package")) + "\" file: ";
        EXPECT_EQ(std::string(vn->plainMessage()).compare(0, prefix.size(), prefix), 0)
            << vn->plainMessage();
        EXPECT_NE(std::string(e.what()).find("PackageFile::loadFromAppDir(): "), std::string::npos)
            << e.what();
    }
}

} // namespace
