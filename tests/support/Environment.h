#ifndef MORV_TESTSUPPORT_ENVIRONMENT_H
#define MORV_TESTSUPPORT_ENVIRONMENT_H

// The environment of the test process: reading it, and changing it for the
// length of a scope (children started meanwhile inherit the change).
// Names and values are UTF-8 on Windows and plain bytes elsewhere.

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

typedef std::map<std::string, std::string> Environment;

// Every variable of this process. On Windows the hidden "=C:" entries of
// the current directories per drive are left out.
Environment currentEnvironment();

// The value of `name`; nothing when it is not set, "" when it is set empty.
std::optional<std::string> getEnv(const std::string& name);

#ifdef _WIN32
std::optional<std::wstring> getEnv(const std::wstring& name);
#endif

// Sets or removes variables and puts every one back as it was, in reverse
// order, when it goes: setting one name twice still restores the state from
// before the first change.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const std::string& name, const std::optional<std::string>& value) { set(name, value); }
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // Sets `name` to `value`, or removes it when `value` is empty.
    ScopedEnv& set(const std::string& name, const std::optional<std::string>& value);
#ifdef _WIN32
    ScopedEnv& set(const std::wstring& name, const std::optional<std::wstring>& value);
#endif

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

} // namespace testsupport

#endif
