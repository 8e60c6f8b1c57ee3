#include "ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "FileUtils.h"
#include "SysInfo.h"

extern char** environ;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The variable as it was, put back when the child has been started.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : name(name) {
        const char* old = std::getenv(name);
        hadOld = old != nullptr;
        if (old) {
            oldValue = old;
        }
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvOverride() {
        if (hadOld) {
            setenv(name.c_str(), oldValue.c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }

private:
    std::string name;
    bool hadOld;
    std::string oldValue;
};

} // namespace

ChildResult runChild(const std::string& program, const std::vector<std::string>& args, const char* name,
                     const char* value) {
    const std::string dir = tstrings::encodeUtf8(FileUtils::dirname(SysInfo::getProcessModulePath()));
    const std::string path = dir + "/" + program;
    const std::string base = dir + "/" + program + "." + std::to_string(getpid());
    const std::string outPath = base + ".out";
    const std::string errPath = base + ".err";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    int rc;
    {
        EnvOverride env(name, value);
        rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        throw std::runtime_error("posix_spawn failed for " + path);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ChildResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(outPath), readFile(errPath)};
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return result;
}

std::string textLineEnd() { return "\n"; }
