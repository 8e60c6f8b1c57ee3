#include "Log.h"

#include "WinApi.h"

namespace logplatform {

LogTime localTime() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return LogTime{st.wYear, st.wMonth, st.wDayOfWeek, st.wDay,
                   st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

std::uint32_t currentProcessId() { return GetCurrentProcessId(); }

std::uint32_t currentThreadId() { return GetCurrentThreadId(); }

} // namespace logplatform
