#include "Log.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <ctime>

namespace logplatform {

LogTime localTime() {
    timeval now{};
    gettimeofday(&now, nullptr);
    std::tm local{};
    const std::time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    return LogTime{static_cast<std::uint16_t>(local.tm_year + 1900),
                   static_cast<std::uint16_t>(local.tm_mon + 1),
                   static_cast<std::uint16_t>(local.tm_wday),
                   static_cast<std::uint16_t>(local.tm_mday),
                   static_cast<std::uint16_t>(local.tm_hour),
                   static_cast<std::uint16_t>(local.tm_min),
                   static_cast<std::uint16_t>(local.tm_sec),
                   static_cast<std::uint16_t>(now.tv_usec / 1000)};
}

std::uint32_t currentProcessId() { return static_cast<std::uint32_t>(getpid()); }

// The kernel's thread id, as tools like ps and gdb show it.
std::uint32_t currentThreadId() { return static_cast<std::uint32_t>(syscall(SYS_gettid)); }

} // namespace logplatform
