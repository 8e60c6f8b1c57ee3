#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace {

class Pipe {
public:
    Pipe() {
        if (pipe2(fds, O_CLOEXEC) != 0) {
            throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
        }
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int readEnd() const { return fds[0]; }
    int writeEnd() const { return fds[1]; }
    void closeRead() { closeFd(fds[0]); }
    void closeWrite() { closeFd(fds[1]); }

private:
    static void closeFd(int& fd) {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
    int fds[2] = {-1, -1};
};

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions; }

private:
    posix_spawn_file_actions_t actions;
};

// Reads both pipes until both are closed; reading them one after the other
// could deadlock once the child fills the other pipe's buffer.
void drain(Pipe& outPipe, Pipe& errPipe, ChildResult& result) {
    pollfd fds[2] = {{outPipe.readEnd(), POLLIN, 0}, {errPipe.readEnd(), POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

} // namespace

std::map<std::string, std::string> currentEnvironment() {
    std::map<std::string, std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const size_t eq = text.find('=');
        if (eq != std::string::npos && eq > 0) {
            env[text.substr(0, eq)] = text.substr(eq + 1);
        }
    }
    return env;
}

ChildResult runChild(const std::vector<std::string>& argv,
                     const std::map<std::string, std::string>& env, const std::string& workDir) {
    std::vector<char*> argPtrs;
    for (const std::string& arg : argv) {
        argPtrs.push_back(const_cast<char*>(arg.c_str()));
    }
    argPtrs.push_back(nullptr);

    std::vector<std::string> envTexts;
    for (const auto& entry : env) {
        envTexts.push_back(entry.first + "=" + entry.second);
    }
    std::vector<char*> envPtrs;
    for (const std::string& text : envTexts) {
        envPtrs.push_back(const_cast<char*>(text.c_str()));
    }
    envPtrs.push_back(nullptr);

    Pipe outPipe;
    Pipe errPipe;
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), outPipe.writeEnd(), 1);
    posix_spawn_file_actions_adddup2(actions.get(), errPipe.writeEnd(), 2);
    if (!workDir.empty()) {
        posix_spawn_file_actions_addchdir_np(actions.get(), workDir.c_str());
    }

    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argPtrs[0], actions.get(), nullptr, argPtrs.data(),
                               envPtrs.data());
    if (rc != 0) {
        throw std::runtime_error("posix_spawn " + argv[0] + ": " + std::strerror(rc));
    }
    outPipe.closeWrite();
    errPipe.closeWrite();

    ChildResult result;
    drain(outPipe, errPipe, result);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
        }
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.exitCode = 128 + WTERMSIG(status);
    }
    return result;
}
