#include "TempDir.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "ChildProcess.h"

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir(const std::string& prefix) {
    static std::atomic<unsigned> counter{0};
    const fs::path base = fs::temp_directory_path();
    const std::string stem = prefix + "-" + std::to_string(currentProcessId()) + "-";
    // A directory left by an earlier process of the same id is skipped, not
    // reused: creating it is what claims the name.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const fs::path candidate = base / fs::u8path(stem + std::to_string(counter++));
        if (fs::create_directory(candidate)) {
            thePath = candidate;
            return;
        }
    }
    throw std::runtime_error("no fresh temporary directory for " + prefix);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(thePath, ignored);
}

fs::path TempDir::write(const fs::path& relative, const std::string& bytes) const {
    const fs::path file = thePath / relative;
    writeFile(file, bytes);
    return file;
}

bool writeFile(const fs::path& path, const std::string& bytes) {
    std::error_code ignored;
    fs::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace testsupport
