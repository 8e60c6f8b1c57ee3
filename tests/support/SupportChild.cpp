// The child the support library's own tests start:
//   support_child args <argument>...   each argument (UTF-8) followed by a NUL
//   support_child env <name>...        "<name>=<value>" or "<name> unset", one per line
//   support_child cwd                  the working directory
//   support_child pid                  the process id
//   support_child write <n> <m>        n bytes 'o' to standard output and m bytes 'e'
//                                      to standard error, in turns of 1000
//   support_child exit <code>          ends with that code
//   support_child sleep <ms>           sleeps, then ends with 0
// Both streams are binary: what the test reads is exactly what was written.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "Environment.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "WinText.h"
#endif

namespace {

void put(FILE* stream, const std::string& text) { std::fwrite(text.data(), 1, text.size(), stream); }

int run(const std::vector<std::string>& args) {
    const std::string mode = args.empty() ? "" : args[0];
    if (mode == "args") {
        for (size_t i = 1; i < args.size(); ++i) {
            put(stdout, args[i] + std::string(1, '\0'));
        }
    } else if (mode == "env") {
        for (size_t i = 1; i < args.size(); ++i) {
            const std::optional<std::string> value = testsupport::getEnv(args[i]);
            put(stdout, value ? args[i] + "=" + *value + "\n" : args[i] + " unset\n");
        }
    } else if (mode == "cwd") {
        put(stdout, std::filesystem::current_path().u8string() + "\n");
    } else if (mode == "pid") {
        put(stdout, std::to_string(testsupport::currentProcessId()) + "\n");
    } else if (mode == "write" && args.size() == 3) {
        size_t out = std::stoul(args[1]);
        size_t err = std::stoul(args[2]);
        while (out > 0 || err > 0) {
            const size_t o = out < 1000 ? out : 1000;
            const size_t e = err < 1000 ? err : 1000;
            put(stdout, std::string(o, 'o'));
            put(stderr, std::string(e, 'e'));
            out -= o;
            err -= e;
        }
    } else if (mode == "exit" && args.size() == 2) {
        std::fflush(stdout);
        return std::atoi(args[1].c_str());
    } else if (mode == "sleep" && args.size() == 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(args[1].c_str())));
    } else {
        put(stderr, "support_child: unknown command\n");
        return 100;
    }
    return 0;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(testsupport::utf8(argv[i]));
    }
    return run(args);
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
