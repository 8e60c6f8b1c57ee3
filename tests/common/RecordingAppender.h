#ifndef MORV_TESTS_RECORDINGAPPENDER_H
#define MORV_TESTS_RECORDINGAPPENDER_H

#include <vector>

#include "Log.h"

// Collects the records that reach it.
class RecordingAppender : public LogAppender {
public:
    void append(const LogRecord& record) override {
        records.push_back(record);
        // The pointer is only valid while the logger lives, which is longer
        // than any test; keep the text anyway so tests read what was shown.
        names.push_back(record.processName ? record.processName : L"");
    }
    std::vector<LogRecord> records;
    std::vector<tstring> names;
};

// Points the logger at a RecordingAppender for the life of the object.
class CaptureLog {
public:
    CaptureLog() : saved(LogRouter::instance().getAppender()) { LogRouter::instance().setAppender(&appender); }
    ~CaptureLog() { LogRouter::instance().setAppender(saved); }
    CaptureLog(const CaptureLog&) = delete;
    CaptureLog& operator=(const CaptureLog&) = delete;

    const std::vector<LogRecord>& records() const { return appender.records; }

private:
    LogAppender* saved;
    RecordingAppender appender;
};

#endif
