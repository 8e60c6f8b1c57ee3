#ifndef MORV_LOG_H
#define MORV_LOG_H

#include <cstdint>
#include <ostream>

#include "ErrorHandling.h"
#include "tstrings.h"

enum LogLevel { TRACE = 0, INFO = 1, WARNING = 2, ERROR = 3 };

// Broken-down local time, the fields of the Windows SYSTEMTIME in its order.
struct LogTime {
    std::uint16_t year;
    std::uint16_t month;
    std::uint16_t dayOfWeek;
    std::uint16_t day;
    std::uint16_t hour;
    std::uint16_t minute;
    std::uint16_t second;
    std::uint16_t millisecond;
};

// What the platform provides to the logger.
namespace logplatform {
LogTime localTime();
std::uint32_t currentProcessId();
std::uint32_t currentThreadId();
} // namespace logplatform

struct LogRecord {
    LogTime time;
    std::uint32_t threadId;
    std::uint32_t processId;
    const wchar_t* processName;
    tstring levelName;
    tstring fileName;
    int line;
    tstring functionName;
    tstring message;
};

// "TRACE", "INFO", "WARNING", "ERROR"; "UNKNOWN" for any other value.
const wchar_t* logLevelName(int level);

// "[yyyy/mm/dd hh:mm:ss.mmm, <process> (PID: p, TID: t), <file>:<line> (<function>)]\n\t<LEVEL>: <message>"
tstring formatFullRecord(const LogRecord& record);
// "[<LEVEL>] <file>:<line>: <message>"
tstring formatShortRecord(const LogRecord& record);

class LogAppender {
public:
    virtual ~LogAppender() = default;
    virtual void append(const LogRecord& record) = 0;
};

class NopLogAppender : public LogAppender {
public:
    void append(const LogRecord&) override {}
};

// Writes the full record line as UTF-8 to a stream it does not own.
class StreamLogAppender : public LogAppender {
public:
    explicit StreamLogAppender(std::ostream& out) : out(&out) {}
    void append(const LogRecord& record) override;

private:
    std::ostream* out;
};

// Forwards to `first`, then to `second`; either may be null. Owns neither.
class TeeLogAppender : public LogAppender {
public:
    TeeLogAppender(LogAppender* first, LogAppender* second) : first(first), second(second) {}
    void append(const LogRecord& record) override;

private:
    LogAppender* first;
    LogAppender* second;
};

class LogRouter {
public:
    // The process-wide logger; re-installs the default appender (full record
    // lines on standard output) when the appender pointer is null.
    static LogRouter& instance();

    bool isLoggable(LogLevel level) const { return level >= threshold; }
    void log(LogLevel level, const tstring& file, int line, const tstring& function,
             const tstring& message);
    void log(LogLevel level, const tstring& file, int line, const tstring& function,
             const tstrings::MessageBuilder& message) {
        log(level, file, line, function, message.str());
    }

    LogAppender* getAppender() const { return appender; }
    LogRouter& setAppender(LogAppender* v) {
        appender = v;
        return *this;
    }

private:
    LogRouter();

    LogLevel threshold;
    LogAppender* appender;
};

// Puts a tee of the logger's current appender and `extra` in place for its
// lifetime; the appender it found is restored on destruction.
class WithExtraLogAppender {
public:
    explicit WithExtraLogAppender(LogAppender& extra);
    virtual ~WithExtraLogAppender();
    WithExtraLogAppender(const WithExtraLogAppender&) = delete;
    WithExtraLogAppender& operator=(const WithExtraLogAppender&) = delete;

private:
    LogAppender* saved;
    TeeLogAppender tee;
};

// "Entering <scope>" on creation and "Exiting <scope> (entered at <file>:<line>)"
// with line 0 on destruction, when the level is loggable.
class TraceScope {
public:
    TraceScope(LogRouter& logger, LogLevel level, const char* file, int line, const char* function);
    ~TraceScope();
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

private:
    LogRouter& logger;
    LogLevel level;
    tstring file;
    int line;
    tstring function;
    tstring scope;
    bool active;
};

// Source position texts of a log call site, as the logger wants them.
tstring logSourceFile(const char* file);
tstring logFunctionName(const char* compilerName);

#define MORV_LOG_FROM(level, file, line, function, msg)                                    \
    do {                                                                                   \
        LogRouter& morvLogger_ = LogRouter::instance();                                    \
        if (morvLogger_.isLoggable(level)) {                                               \
            morvLogger_.log(level, logSourceFile(file), (line), logFunctionName(function), \
                            tstrings::MessageBuilder() << msg);                            \
        }                                                                                  \
    } while (0)

#define MORV_LOG_AT(level, msg) MORV_LOG_FROM(level, __FILE__, __LINE__, MORV_FUNCTION, msg)
// At a SourcePos taken elsewhere, such as the enclosing function of a lambda.
#define MORV_LOG_AT_POS(level, pos, msg) \
    MORV_LOG_FROM(level, (pos).file, (pos).line, (pos).function, msg)

#define TRACE_LOG(msg) MORV_LOG_AT(TRACE, msg)
#define WARNING_LOG(msg) MORV_LOG_AT(WARNING, msg)

#define MORV_CONCAT_(a, b) a##b
#define MORV_CONCAT(a, b) MORV_CONCAT_(a, b)
#define TRACE_SCOPE() \
    TraceScope MORV_CONCAT(morvTraceScope_, __LINE__)(LogRouter::instance(), TRACE, __FILE__, __LINE__, MORV_FUNCTION)

#endif
