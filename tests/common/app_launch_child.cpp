// Runs app::launch with the launch function named by its first argument, so
// that tests can see the exit code and exactly what reaches standard error.

#include <cerrno>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "app.h"
#include "tstrings.h"

namespace {

// C:\Users\Jürgen\中-café.cfg in UTF-8.
const char kPath[] = "C:\\Users\\J\xC3\xBCrgen\\\xE4\xB8\xAD-caf\xC3\xA9.cfg";

void succeed() { TRACE_LOG("working"); }

void failWithVnError() { RAISE_ERROR(tstrings::MessageBuilder() << "Cannot open " << std::string(kPath)); }

void failWithRuntimeError() {
    errno = 0;
    throw std::runtime_error(std::string("Plain failure at ") + kPath);
}

void failWithLogicError() { throw std::logic_error("not a runtime error"); }

void failWithInt() { throw 42; }

// Records the last error text while the error record passes through it.
class EchoAppender : public LogAppender {
public:
    void append(const LogRecord&) override {
        const std::string text = "appender saw: " + app::getLastErrorText() + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    app::LaunchFunction func;
    if (mode == "return") {
        func = succeed;
    } else if (mode == "vnerror") {
        func = failWithVnError;
    } else if (mode == "runtime") {
        func = failWithRuntimeError;
    } else if (mode == "logic") {
        func = failWithLogicError;
    } else if (mode == "int") {
        func = failWithInt;
    } else {
        std::fputs("unknown mode\n", stdout);
        return 100;
    }
    EchoAppender echo;
    const bool custom = argc > 2 && std::string(argv[2]) == "custom";
    const int rc = app::launch(func, custom ? &echo : nullptr);
    // Outside its error handling there is no last error text.
    if (!app::getLastErrorText().empty()) {
        return 101;
    }
    return rc;
}
