#ifndef MORV_TESTSUPPORT_TEMPDIR_H
#define MORV_TESTSUPPORT_TEMPDIR_H

#include <filesystem>
#include <string>

namespace testsupport {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes. Its name is
// "<prefix>-<process id>-<n>": a prefix with a blank makes every path inside
// need quoting on a Windows command line.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "morv-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return thePath; }

    // Writes `bytes` to `relative` below the directory, creating the
    // directories on the way, and returns the file's full path.
    std::filesystem::path write(const std::filesystem::path& relative, const std::string& bytes) const;

private:
    std::filesystem::path thePath;
};

// Writes the whole file, creating its directory; false when that fails.
bool writeFile(const std::filesystem::path& path, const std::string& bytes);

// The file's bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

} // namespace testsupport

#endif
