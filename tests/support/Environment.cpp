#include "Environment.h"

#include "EnvironmentPlatform.h"

namespace testsupport {

ScopedEnv::~ScopedEnv() {
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
        platform::setEnv(it->first, it->second);
    }
}

ScopedEnv& ScopedEnv::set(const std::string& name, const std::optional<std::string>& value) {
    saved.emplace_back(name, getEnv(name));
    platform::setEnv(name, value);
    return *this;
}

} // namespace testsupport
