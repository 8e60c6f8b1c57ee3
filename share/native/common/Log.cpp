#include "Log.h"

#include <iostream>

#include "FileUtils.h"
#include "SysInfo.h"

namespace {

const std::size_t kProcessNameCapacity = 260;

// Filled on the first LogRouter::instance(); records point at it, never
// copy it.
wchar_t processName[kProcessNameCapacity] = L"Unknown";

enum class FillState { NotStarted, Running, Done };
FillState processNameState = FillState::NotStarted;

void storeProcessName(const tstring& name) {
    const std::size_t n = name.size() < kProcessNameCapacity - 1 ? name.size() : kProcessNameCapacity - 1;
    name.copy(processName, n);
    processName[n] = L'\0';
}

void fillProcessName() {
    if (processNameState == FillState::Done) {
        return;
    }
    if (processNameState == FillState::Running) {
        // A record logged from inside the module lookup: it gets an empty
        // name instead of recursing into the lookup again.
        processName[0] = L'\0';
        return;
    }
    processNameState = FillState::Running;
    tstring name;
    try {
        name = FileUtils::basename(SysInfo::getCurrentModulePath());
    } catch (...) {
        name = L"Unknown";
    }
    storeProcessName(name);
    processNameState = FillState::Done;
}

LogAppender& defaultAppender() {
    // Never destroyed: records may still be written while statics go away.
    static LogAppender* const appender = new StreamLogAppender(std::cout);
    return *appender;
}

tstring lastPathComponent(const tstring& path) {
    const tstring::size_type pos = path.find_last_of(L"\\/");
    return pos == tstring::npos ? path : path.substr(pos + 1);
}

void writeUtf8Line(std::ostream& out, const tstring& text) {
    out << tstrings::encodeUtf8(text) << '\n';
    out.flush();
}

} // namespace

const wchar_t* logLevelName(int level) {
    switch (level) {
    case TRACE:
        return L"TRACE";
    case INFO:
        return L"INFO";
    case WARNING:
        return L"WARNING";
    case ERROR:
        return L"ERROR";
    default:
        return L"UNKNOWN";
    }
}

tstring formatFullRecord(const LogRecord& record) {
    const LogTime& t = record.time;
    tstrings::MessageBuilder msg;
    msg << L"[";
    msg << tstrings::printfFormat(L"%04u/%02u/%02u %02u:%02u:%02u.%03u, %s (PID: %u, TID: %u), ",
                                  unsigned(t.year), unsigned(t.month), unsigned(t.day),
                                  unsigned(t.hour), unsigned(t.minute), unsigned(t.second),
                                  unsigned(t.millisecond),
                                  record.processName ? record.processName : L"",
                                  unsigned(record.processId), unsigned(record.threadId));
    msg << record.fileName << L":" << record.line << L" (" << record.functionName << L")]";
    msg << L"\n\t" << record.levelName << L": " << record.message;
    return msg.str();
}

tstring formatShortRecord(const LogRecord& record) {
    return (tstrings::MessageBuilder() << L"[" << record.levelName << L"] " << record.fileName
                                       << L":" << record.line << L": " << record.message)
        .str();
}

void StreamLogAppender::append(const LogRecord& record) { writeUtf8Line(*out, formatFullRecord(record)); }

void TeeLogAppender::append(const LogRecord& record) {
    if (first) {
        first->append(record);
    }
    if (second) {
        second->append(record);
    }
}

LogRouter::LogRouter() : threshold(TRACE), appender(&defaultAppender()) {}

LogRouter& LogRouter::instance() {
    static LogRouter router;
    if (!router.appender) {
        router.appender = &defaultAppender();
    }
    fillProcessName();
    return router;
}

void LogRouter::log(LogLevel level, const tstring& file, int line, const tstring& function,
                    const tstring& message) {
    LogRecord record{};
    record.time = logplatform::localTime();
    record.threadId = logplatform::currentThreadId();
    record.processId = logplatform::currentProcessId();
    record.processName = processName;
    record.fileName = lastPathComponent(file);
    record.functionName = function;
    record.levelName = logLevelName(level);
    record.line = line;
    record.message = message;
    if (appender) {
        appender->append(record);
    }
}

WithExtraLogAppender::WithExtraLogAppender(LogAppender& extra)
    : saved(LogRouter::instance().getAppender()), tee(saved, &extra) {
    LogRouter::instance().setAppender(&tee);
}

WithExtraLogAppender::~WithExtraLogAppender() { LogRouter::instance().setAppender(saved); }

TraceScope::TraceScope(LogRouter& logger, LogLevel level, const char* file, int line,
                       const char* function)
    : logger(logger),
      level(level),
      file(tstrings::decodeUtf8(file ? file : "")),
      line(line),
      function(logFunctionName(function)),
      scope(this->function),
      active(logger.isLoggable(level)) {
    if (active) {
        logger.log(level, this->file, line, this->function,
                   tstrings::MessageBuilder() << L"Entering " << scope);
    }
}

TraceScope::~TraceScope() {
    if (active) {
        reportAndContinue(CURRENT_SOURCE_POS, [this] {
            logger.log(level, file, 0, function,
                       tstrings::MessageBuilder() << L"Exiting " << scope << L" (entered at "
                                                  << lastPathComponent(file) << L":" << line << L")");
        });
    }
}

tstring logSourceFile(const char* file) { return lastPathComponent(tstrings::decodeUtf8(file ? file : "")); }

tstring logFunctionName(const char* compilerName) { return tstrings::decodeUtf8(functionName(compilerName)); }
