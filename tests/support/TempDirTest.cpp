#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ChildProcess.h"
#include "TempDir.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {

TEST(TempDir, FreshNamedDirectoryUnderTheTemporaryDirectory) {
    const std::string id = std::to_string(testsupport::currentProcessId());
    TempDir a("morv support");
    TempDir b("morv support");
    for (const TempDir* d : {&a, &b}) {
        EXPECT_TRUE(fs::is_directory(d->path()));
        EXPECT_TRUE(fs::is_empty(d->path()));
        EXPECT_EQ(d->path().parent_path(), (fs::temp_directory_path() / "x").parent_path());
        EXPECT_EQ(d->path().filename().u8string().rfind("morv support-" + id + "-", 0), 0u) << d->path();
    }
    EXPECT_NE(a.path(), b.path());
}

// Left behind by an earlier process of the same id: never taken over.
TEST(TempDir, SkipsANameThatIsTaken) {
    fs::path next;
    {
        TempDir probe("morv support taken");
        const std::string name = probe.path().filename().u8string();
        const size_t dash = name.find_last_of('-');
        next = probe.path().parent_path() /
               fs::u8path(name.substr(0, dash + 1) + std::to_string(std::stoul(name.substr(dash + 1)) + 1));
    }
    fs::create_directory(next);
    testsupport::writeFile(next / "left.txt", "old");
    {
        TempDir dir("morv support taken");
        EXPECT_NE(dir.path(), next);
        EXPECT_TRUE(fs::is_empty(dir.path()));
    }
    EXPECT_EQ(testsupport::readFile(next / "left.txt"), "old");
    fs::remove_all(next);
}

TEST(TempDir, WritesFilesAndGoesWithEverythingInIt) {
    fs::path root;
    {
        TempDir dir;
        root = dir.path();
        const struct {
            const char* relative;
            std::string bytes;
        } files[] = {
            {"top.txt", "one\n"},
            {"a/b/c/deep.bin", std::string("\0\r\n\xFF", 4)},
            {"empty", ""},
        };
        for (const auto& f : files) {
            const fs::path written = dir.write(f.relative, f.bytes);
            EXPECT_EQ(written, dir.path() / f.relative);
            EXPECT_EQ(testsupport::readFile(written), f.bytes) << f.relative;
        }
        fs::create_directories(dir.path() / "only/dirs");
    }
    EXPECT_FALSE(fs::exists(root));
}

TEST(Files, ReadOfAMissingFileIsEmptyAndWriteReportsFailure) {
    TempDir dir;
    EXPECT_EQ(testsupport::readFile(dir.path() / "missing"), "");
    testsupport::writeFile(dir.path() / "file", "x");
    // A file where a directory of the path should be.
    EXPECT_FALSE(testsupport::writeFile(dir.path() / "file" / "below", "y"));
    EXPECT_TRUE(testsupport::writeFile(dir.path() / "new" / "below", "y"));
}

} // namespace
