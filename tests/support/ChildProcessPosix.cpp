#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testsupport {
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

// Reads every given pipe until all are closed. Reading them one after the
// other could deadlock once the child fills the buffer of the other.
void drain(std::vector<std::pair<int, std::string*>> sources) {
    std::vector<pollfd> fds;
    for (const auto& source : sources) {
        fds.push_back({source.first, POLLIN, 0});
    }
    size_t open = fds.size();
    while (open > 0) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sources[i].second->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

// The child's end: its exit status, or 128 + the signal; killed when its
// time is up. Polled, since waitpid itself has no timeout.
long long waitForEnd(pid_t pid, std::chrono::milliseconds timeout, bool& timedOut) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, timeout.count() > 0 ? WNOHANG : 0);
        if (done == pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
        }
        if (done == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                timedOut = true;
                kill(pid, SIGKILL);
                timeout = std::chrono::milliseconds(0);
                continue;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return -1;
}

} // namespace

ChildResult runChild(const std::string& program, const ChildOptions& options) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : options.args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    std::vector<std::string> envTexts;
    std::vector<char*> envp;
    if (options.environment) {
        for (const auto& entry : *options.environment) {
            envTexts.push_back(entry.first + "=" + entry.second);
        }
        for (const std::string& text : envTexts) {
            envp.push_back(const_cast<char*>(text.c_str()));
        }
        envp.push_back(nullptr);
    }

    Pipe outPipe;
    Pipe errPipe;
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    if (options.captureOut) {
        posix_spawn_file_actions_adddup2(actions.get(), outPipe.writeEnd(), 1);
    } else {
        posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
    }
    if (options.captureErr) {
        posix_spawn_file_actions_adddup2(actions.get(), errPipe.writeEnd(), 2);
    } else {
        posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0);
    }
    if (!options.workDir.empty()) {
        posix_spawn_file_actions_addchdir_np(actions.get(), options.workDir.c_str());
    }

    ChildResult result;
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv.data(),
                               options.environment ? envp.data() : environ);
    if (rc != 0) {
        result.startError = "posix_spawn " + program + ": " + std::strerror(rc);
        return result;
    }
    result.started = true;
    result.pid = static_cast<unsigned long>(pid);
    outPipe.closeWrite();
    errPipe.closeWrite();

    std::vector<std::pair<int, std::string*>> sources;
    if (options.captureOut) {
        sources.emplace_back(outPipe.readEnd(), &result.out);
    }
    if (options.captureErr) {
        sources.emplace_back(errPipe.readEnd(), &result.err);
    }
    std::thread reader(drain, sources);
    try {
        if (options.whileRunning) {
            options.whileRunning(RunningChild{result.pid, nullptr, nullptr});
        }
        result.exitCode = waitForEnd(pid, options.timeout, result.timedOut);
    } catch (...) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        reader.join();
        throw;
    }
    reader.join();
    return result;
}

std::string besideThisProgram(const std::string& name) {
    std::string self(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", &self[0], self.size());
    if (n <= 0) {
        throw std::runtime_error(std::string("readlink /proc/self/exe: ") + std::strerror(errno));
    }
    self.resize(static_cast<size_t>(n));
    return self.substr(0, self.find_last_of('/') + 1) + name;
}

std::string textLineEnd() { return "\n"; }

unsigned long currentProcessId() { return static_cast<unsigned long>(getpid()); }

} // namespace testsupport
