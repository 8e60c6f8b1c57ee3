#include "Environment.h"
#include "EnvironmentPlatform.h"

#include <cstdlib>

extern char** environ;

namespace testsupport {

Environment currentEnvironment() {
    Environment env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const std::string::size_type eq = text.find('=');
        if (eq != std::string::npos && eq > 0) {
            env[text.substr(0, eq)] = text.substr(eq + 1);
        }
    }
    return env;
}

std::optional<std::string> getEnv(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

namespace platform {

void setEnv(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        setenv(name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
}

} // namespace platform
} // namespace testsupport
