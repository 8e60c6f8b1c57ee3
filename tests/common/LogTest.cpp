#include <gtest/gtest.h>

#include <sstream>

#include "FileUtils.h"
#include "Log.h"
#include "RecordingAppender.h"
#include "SysInfo.h"

namespace {

LogRecord sampleRecord() {
    LogRecord r{};
    r.time = LogTime{2024, 3, 2, 5, 9, 7, 2, 45};
    r.threadId = 5678;
    r.processId = 1234;
    r.processName = L"morv.exe";
    r.levelName = L"TRACE";
    r.fileName = L"Demo.src";
    r.line = 10;
    r.functionName = L"Demo::run";
    r.message = L"Hello";
    return r;
}

TEST(LogTest, LevelNames) {
    const struct {
        int level;
        const wchar_t* name;
    } cases[] = {{0, L"TRACE"}, {1, L"INFO"}, {2, L"WARNING"}, {3, L"ERROR"}, {7, L"UNKNOWN"}, {-1, L"UNKNOWN"}};
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        EXPECT_STREQ(cases[i].name, logLevelName(cases[i].level)) << "case " << i;
    }
}

TEST(LogTest, RecordFormats) {
    const LogRecord r = sampleRecord();
    EXPECT_EQ(L"[2024/03/05 09:07:02.045, morv.exe (PID: 1234, TID: 5678), Demo.src:10 (Demo::run)]\n\tTRACE: Hello",
              formatFullRecord(r));
    EXPECT_EQ(L"[TRACE] Demo.src:10: Hello", formatShortRecord(r));

    std::ostringstream out;
    StreamLogAppender appender(out);
    LogRecord utf = r;
    utf.message = L"\u00E9\u4E2D";
    appender.append(utf);
    EXPECT_EQ("[2024/03/05 09:07:02.045, morv.exe (PID: 1234, TID: 5678), Demo.src:10 (Demo::run)]\n\tTRACE: "
              "\xC3\xA9\xE4\xB8\xAD\n",
              out.str());
}

TEST(LogTest, LogFillsTheRecord) {
    CaptureLog log;
    LogRouter::instance().log(INFO, L"C:\\src/app\\Demo.src", 12, L"Demo::run", L"msg");
    ASSERT_EQ(1u, log.records().size());
    const LogRecord& r = log.records()[0];
    EXPECT_EQ(L"INFO", r.levelName);
    EXPECT_EQ(L"Demo.src", r.fileName);
    EXPECT_EQ(12, r.line);
    EXPECT_EQ(L"Demo::run", r.functionName);
    EXPECT_EQ(L"msg", r.message);
    EXPECT_GE(r.time.year, 2024);
    EXPECT_NE(0u, r.processId);
    EXPECT_NE(0u, r.threadId);
    // The name of the module holding the logger: this test program.
    EXPECT_EQ(FileUtils::basename(SysInfo::getCurrentModulePath()), tstring(r.processName));
    EXPECT_FALSE(tstring(r.processName).empty());
}

void logTwice() {
    TRACE_LOG("value " << 7);
    WARNING_LOG(L"wide " << tstring(L"\u4E2D"));
}

TEST(LogTest, MacrosUseTheCallSite) {
    CaptureLog log;
    logTwice();
    ASSERT_EQ(2u, log.records().size());
    EXPECT_EQ(L"TRACE", log.records()[0].levelName);
    EXPECT_EQ(L"value 7", log.records()[0].message);
    EXPECT_EQ(L"LogTest.cpp", log.records()[0].fileName);
    EXPECT_EQ(L"logTwice", log.records()[0].functionName);
    EXPECT_EQ(L"WARNING", log.records()[1].levelName);
    EXPECT_EQ(L"wide \u4E2D", log.records()[1].message);
    EXPECT_EQ(log.records()[0].line + 1, log.records()[1].line);
}

struct Traced {
    int enteredAt = 0;
    void run() {
        enteredAt = __LINE__ + 1;
        TRACE_SCOPE();
        TRACE_LOG("inside");
    }
};

TEST(LogTest, TraceScopeWritesEntryAndExitWithLineZero) {
    CaptureLog log;
    Traced t;
    t.run();
    ASSERT_EQ(3u, log.records().size());
    const LogRecord& entry = log.records()[0];
    const LogRecord& exit = log.records()[2];
    EXPECT_EQ(L"Entering Traced::run", entry.message);
    EXPECT_EQ(t.enteredAt, entry.line);
    EXPECT_EQ(L"inside", log.records()[1].message);
    EXPECT_EQ(L"Exiting Traced::run (entered at LogTest.cpp:" + std::to_wstring(t.enteredAt) + L")",
              exit.message);
    EXPECT_EQ(0, exit.line);
    EXPECT_EQ(L"LogTest.cpp", exit.fileName);
    EXPECT_EQ(L"Traced::run", exit.functionName);
    EXPECT_EQ(0u, formatShortRecord(exit).find(L"[TRACE] LogTest.cpp:0: Exiting "));
    EXPECT_NE(tstring::npos, formatFullRecord(exit).find(L"LogTest.cpp:0 (Traced::run)]"));
}

TEST(LogTest, TeeForwardsToBothSkippingNull) {
    RecordingAppender a;
    RecordingAppender b;
    const LogRecord r = sampleRecord();
    TeeLogAppender(&a, &b).append(r);
    TeeLogAppender(nullptr, &b).append(r);
    TeeLogAppender(&a, nullptr).append(r);
    TeeLogAppender(nullptr, nullptr).append(r);
    EXPECT_EQ(2u, a.records.size());
    EXPECT_EQ(2u, b.records.size());
}

TEST(LogTest, WithExtraLogAppenderTeesAndRestoresWhatItFound) {
    CaptureLog base;
    LogAppender* found = LogRouter::instance().getAppender();
    RecordingAppender extra;
    RecordingAppender other;
    {
        WithExtraLogAppender with(extra);
        TRACE_LOG("both");
        EXPECT_EQ(1u, base.records().size());
        EXPECT_EQ(1u, extra.records.size());
        // Changed again in between: destruction still restores what it found.
        LogRouter::instance().setAppender(&other);
    }
    EXPECT_EQ(found, LogRouter::instance().getAppender());
    TRACE_LOG("base only");
    EXPECT_EQ(2u, base.records().size());
    EXPECT_EQ(1u, extra.records.size());
}

TEST(LogTest, NullAppenderIsReplacedByTheDefault) {
    LogAppender* saved = LogRouter::instance().getAppender();
    LogRouter::instance().setAppender(nullptr);
    EXPECT_NE(nullptr, LogRouter::instance().getAppender());
    LogRouter::instance().setAppender(saved);
}

} // namespace
