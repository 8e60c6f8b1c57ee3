#ifndef MORV_TESTSUPPORT_ENVIRONMENTPLATFORM_H
#define MORV_TESTSUPPORT_ENVIRONMENTPLATFORM_H

// What each platform's environment file provides to the neutral part.

#include <optional>
#include <string>

namespace testsupport {
namespace platform {

// Sets `name` to `value`, or removes it when `value` is empty.
void setEnv(const std::string& name, const std::optional<std::string>& value);

} // namespace platform
} // namespace testsupport

#endif
