#include <gtest/gtest.h>

#include "FileUtils.h"

namespace {

// Cases are written with '/'; each one is also run with every '/' turned
// into '\', except where the expected text holds an inserted '\'.
tstring backslashed(tstring s) {
    for (wchar_t& c : s) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return s;
}

struct UnaryCase {
    const wchar_t* in;
    const wchar_t* out;
};

void checkUnary(tstring (*f)(const tstring&), const UnaryCase* cases, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_EQ(cases[i].out, f(cases[i].in)) << "case " << i << " '/'";
        EXPECT_EQ(backslashed(cases[i].out), f(backslashed(cases[i].in))) << "case " << i << " '\\'";
    }
}

TEST(FileUtilsTest, Basename) {
    const UnaryCase cases[] = {
        {L"C:/app/run.exe", L"run.exe"}, {L"run.exe", L"run.exe"}, {L"C:/app/", L""}, {L"", L""}, {L"/", L""},
    };
    checkUnary(&FileUtils::basename, cases, sizeof(cases) / sizeof(cases[0]));
    EXPECT_EQ(L"run.exe", FileUtils::basename(L"C:\\app/run.exe"));
}

TEST(FileUtilsTest, Dirname) {
    const UnaryCase cases[] = {
        {L"C:/app/run.exe", L"C:/app"}, {L"C:/app//run.exe", L"C:/app"}, {L"C:/app/", L"C:/app"},
        {L"C:/app/.", L"C:"},          {L"C:/", L"C:"},                 {L"run.exe", L""},
        {L"/run.exe", L""},            {L"", L""},                      {L"/.", L""},
        {L"//", L""},                  {L"a/b/c", L"a/b"},
    };
    checkUnary(&FileUtils::dirname, cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(FileUtilsTest, CombineAndAppend) {
    // '|' stands for the separator that combinePath inserts: '\\' on Windows,
    // '/' on Linux.
    const auto inserted = [](tstring s) {
        for (wchar_t& c : s) {
            if (c == L'|') {
                c = FileUtils::pathSeparator;
            }
        }
        return s;
    };
    const struct {
        const wchar_t* parent;
        const wchar_t* child;
        const wchar_t* combined;
    } cases[] = {
        {L"C:/app", L"run.exe", L"C:/app|run.exe"},
        {L"C:/app//", L"/run.exe", L"C:/app|run.exe"},
        {L"C:/app\\", L"\\run.exe", L"C:/app|run.exe"},
        {L"C:/app", L"//x", L"C:/app|/x"},
        {L"/", L"x", L"|x"},
        {L"", L"/x/", L"/x/"},
        {L"C:/app/", L"", L"C:/app/"},
        {L"", L"", L""},
    };
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        EXPECT_EQ(inserted(cases[i].combined), FileUtils::combinePath(cases[i].parent, cases[i].child))
            << "case " << i;
    }
    tstring path;
    FileUtils::appendPath(FileUtils::appendPath(path, L"C:"), L"app");
    EXPECT_EQ(inserted(L"C:|app"), path);
}

TEST(FileUtilsTest, RemoveTrailingSeparators) {
    const UnaryCase cases[] = {
        {L"C:/app//", L"C:/app"}, {L"//", L""}, {L"", L""}, {L"C:/app", L"C:/app"}, {L"/a/b", L"/a/b"},
    };
    checkUnary(&FileUtils::removeTrailingSeparators, cases, sizeof(cases) / sizeof(cases[0]));
    EXPECT_EQ(L"C:/app", FileUtils::removeTrailingSeparators(L"C:/app\\/"));
}

TEST(FileUtilsTest, StripExtension) {
    const UnaryCase cases[] = {
        {L"run.exe", L"run"},           {L"archive.tar.gz", L"archive.tar"}, {L".cfg", L""},
        {L"run", L"run"},               {L"C:/dir.d/run", L"C:/dir.d/run"},   {L"C:/dir.d/run.cfg", L"C:/dir.d/run"},
        {L"", L""},
    };
    checkUnary(&FileUtils::stripExtension, cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(FileUtilsTest, IsAbsolutePath) {
    const struct {
        const wchar_t* path;
        bool absolute;
    } cases[] = {
#ifdef _WIN32
        {L"C:\\jre", true}, {L"c:/jre", true}, {L"C:jre", true}, {L"\\\\server\\jre", true},
        {L"\\jre", true},   {L"/jre", true},   {L"jre", false},  {L"..\\jre", false},
        {L".", false},        {L"", false},      {L"1:jre", false},
#else
        {L"/opt/jre", true}, {L"/", true},        {L"jre", false}, {L"../jre", false},
        {L"\\jre", false},  {L"C:/jre", false}, {L"", false},
#endif
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        EXPECT_EQ(FileUtils::isAbsolutePath(cases[i].path), cases[i].absolute) << "case " << i;
    }
}

TEST(FileUtilsTest, AbsolutePathBeyondMaxPath) {
    const tstring cwd = FileUtils::removeTrailingSeparators(FileUtils::toAbsolutePath(L""));
    const tstring a(150, L'a');
    const tstring b(150, L'\u00E9');
    const tstring sep(1, FileUtils::pathSeparator);
    EXPECT_EQ(FileUtils::toAbsolutePath(cwd + sep + a + sep + b + sep + L"x.exe"),
              cwd + sep + a + sep + b + sep + L"x.exe");
    EXPECT_EQ(FileUtils::toAbsolutePath(a + sep + b + sep + L".." + sep + L"x.exe"),
              cwd + sep + a + sep + L"x.exe");
}

TEST(FileUtilsTest, AbsolutePathAndExistence) {
    const tstring cwd = FileUtils::toAbsolutePath(L"");
    ASSERT_FALSE(cwd.empty());
    EXPECT_TRUE(FileUtils::pathExists(cwd));
    const tstring rel = FileUtils::toAbsolutePath(L"some-name.txt");
    EXPECT_EQ(L"some-name.txt", FileUtils::basename(rel));
    EXPECT_EQ(FileUtils::removeTrailingSeparators(cwd), FileUtils::dirname(rel));
    // "." and ".." are resolved by text; the path need not exist.
    EXPECT_EQ(rel, FileUtils::toAbsolutePath(L"sub/../././some-name.txt"));
    EXPECT_FALSE(FileUtils::pathExists(FileUtils::combinePath(cwd, L"no-such-file-\u4E2D.txt")));
    EXPECT_FALSE(FileUtils::pathExists(L""));
}

} // namespace
