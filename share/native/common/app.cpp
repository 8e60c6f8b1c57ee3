#include "app.h"

#include <cstdio>
#include <memory>
#include <string>

#include "ErrorHandling.h"
#include "Log.h"
#include "SysInfo.h"
#include "tstrings.h"

namespace {

// Points at the errorText of the app::launch that is reporting a failure;
// null at all other times.
const std::string* lastErrorText = nullptr;

void writeStderrLine(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

class LastErrorLogAppender : public LogAppender {
public:
    void append(const LogRecord&) override { writeStderrLine(app::getLastErrorText()); }
};

class StandardLogAppender : public LogAppender {
public:
    void append(const LogRecord& record) override {
        writeStderrLine(tstrings::encodeUtf8(formatShortRecord(record)));
    }
};

// The process-wide appenders are never destroyed: the logger may still hold
// one of them while static objects go away at exit.
template <class T>
T& processWide() {
    static T* const instance = new T();
    return *instance;
}

typedef std::unique_ptr<WithExtraLogAppender> ExtraAppenderHolder;

// Installs the error appender when the guarded part is left, so that only
// the record of the caught failure reaches it.
class SetLoggerAtEndOfScope {
public:
    SetLoggerAtEndOfScope(ExtraAppenderHolder& holder, LogAppender& errorAppender)
        : holder(holder), errorAppender(errorAppender) {}
    ~SetLoggerAtEndOfScope() {
        reportAndContinue(CURRENT_SOURCE_POS,
                          [this] { holder.reset(new WithExtraLogAppender(errorAppender)); });
    }
    SetLoggerAtEndOfScope(const SetLoggerAtEndOfScope&) = delete;
    SetLoggerAtEndOfScope& operator=(const SetLoggerAtEndOfScope&) = delete;

private:
    ExtraAppenderHolder& holder;
    LogAppender& errorAppender;
};

class ResetLastErrorMsgAtEndOfScope {
public:
    ResetLastErrorMsgAtEndOfScope() = default;
    ~ResetLastErrorMsgAtEndOfScope() {
        reportAndContinue(CURRENT_SOURCE_POS, [] { lastErrorText = nullptr; });
    }
    ResetLastErrorMsgAtEndOfScope(const ResetLastErrorMsgAtEndOfScope&) = delete;
    ResetLastErrorMsgAtEndOfScope& operator=(const ResetLastErrorMsgAtEndOfScope&) = delete;
};

} // namespace

namespace app {

bool isDebugEnabled() {
    return SysInfo::getEnvVariable(nothrow, L"VARNO_DEBUG", L"") == L"true";
}

LogAppender& defaultErrorAppender() { return processWide<LastErrorLogAppender>(); }

std::string getLastErrorText() { return lastErrorText ? *lastErrorText : std::string(); }

int launch(const LaunchFunction& func, LogAppender* errorAppender) {
    if (isDebugEnabled()) {
        LogRouter::instance().setAppender(&processWide<StandardLogAppender>());
    } else {
        LogRouter::instance().setAppender(&processWide<NopLogAppender>());
    }

    TRACE_SCOPE();

    if (!errorAppender) {
        errorAppender = &defaultErrorAppender();
    }

    // Destroyed in reverse order: the reset, the text, then the holder, which
    // puts the previous appender back before the trace scope's exit record.
    ExtraAppenderHolder holder;
    std::string errorText;
    ResetLastErrorMsgAtEndOfScope resetLastErrorMsg;

    try {
        SetLoggerAtEndOfScope setLogger(holder, *errorAppender);
        func();
        return 0;
    } catch (const VnErrorBase& e) {
        errorText = tstrings::encodeUtf8(caughtErrorText(e.plainMessage()));
        lastErrorText = &errorText;
        // Rethrown so that the record shows what() with the source position.
        reportAndContinue(CURRENT_SOURCE_POS, [] { throw; });
    } catch (const std::runtime_error& e) {
        // The exception's own text: the C runtime's errno has nothing to do
        // with a failure that did not come from it.
        errorText = tstrings::encodeUtf8(caughtErrorText(e.what()));
        lastErrorText = &errorText;
        logCaughtError(CURRENT_SOURCE_POS, e);
    } catch (...) {
        errorText = "Unknown error";
        lastErrorText = &errorText;
        logUnknownError(CURRENT_SOURCE_POS);
    }
    return 1;
}

} // namespace app
