#include "WinApi.h"
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ChildReport.h"
#include "Environment.h"
#include "Executor.h"
#include "Log.h"
#include "OwnedHandle.h"
#include "TempDir.h"
#include "WinText.h"

namespace {

// Arguments that the old rule lost or changed on the way to the child.
const std::vector<std::wstring> hardArgs = {
    L"",
    L"plain",
    L"two words",
    L"tab\there",
    L"line\nfeed",
    L"vertical\vtab",
    L"C:\\My Dir\\",
    L"C:\\NoBlank\\",
    L"trailing two\\\\",
    L"\"",
    L"\"\"",
    L"\"already quoted\"",
    L"say \"hi\"",
    L"back\\\"slash quote",
    L"back\\\\\"two",
    L"a\\\\b",
    L"\\\\server\\share\\",
    L"  ",
    L"\xE9t\xE9 \x00FCber",
    L"\x674E\x660E \x6587\x4EF6",
    L"C:\\Users\\\x674E\x660E\\",
    L"-Dx=\"y z\"",
};

std::vector<std::wstring> splitCommandLine(const std::wstring& cmdline) {
    int n = 0;
    wchar_t** argv = CommandLineToArgvW(cmdline.c_str(), &n);
    std::vector<std::wstring> out;
    if (argv) {
        out.assign(argv, argv + n);
        LocalFree(argv);
    }
    return out;
}

std::string narrow(const std::wstring& s) {
    std::string out;
    for (const wchar_t c : s) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            out += "\\u" + std::to_string(static_cast<unsigned>(c));
        }
    }
    return out;
}

TEST(ExecutorCommandLine, QuotesWhatTheParsersWouldSplitOrStrip) {
    struct Case {
        std::wstring program;
        std::vector<std::wstring> args;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"C:\\Program Files\\app.exe", {L"a", L"", L"b c", L"\"q r\""},
         L"\"C:\\Program Files\\app.exe\" a \"\" \"b c\" \"\\\"q r\\\"\""},
        {L"C:\\app.exe", {}, L"C:\\app.exe"},
        {L"C:\\app.exe", {L"\""}, L"C:\\app.exe \"\\\"\""},
        {L"C:\\app.exe", {L"\"\""}, L"C:\\app.exe \"\\\"\\\"\""},
        {L"C:\\app.exe", {L"C:\\My Dir\\"}, L"C:\\app.exe \"C:\\My Dir\\\\\""},
        {L"C:\\app.exe", {L"C:\\NoBlank\\"}, L"C:\\app.exe C:\\NoBlank\\"},
        {L"C:\\app.exe", {L"a\tb"}, L"C:\\app.exe \"a\tb\""},
        {L"C:\\app.exe", {L"a\\\\b"}, L"C:\\app.exe a\\\\b"},
        {L"C:\\app.exe", {L"a\\\"b"}, L"C:\\app.exe \"a\\\\\\\"b\""},
        {L"C:\\app.exe", {L"x\ny", L"x\vy"}, L"C:\\app.exe \"x\ny\" \"x\vy\""},
        {L"C:\\app.exe", {L"", L""}, L"C:\\app.exe \"\" \"\""},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        Executor executor(cases[i].program);
        executor.args() = cases[i].args;
        EXPECT_EQ(executor.commandLine(), cases[i].expected) << "case " << i;
    }
}

TEST(ExecutorCommandLine, RoundTripsThroughCommandLineToArgvW) {
    const std::wstring programs[] = {L"C:\\Program Files\\My App\\app.exe", L"C:\\app.exe"};
    for (const std::wstring& program : programs) {
        // Each argument alone, then between neighbours, then all at once:
        // a lost or swallowed quote shows as a shifted neighbour.
        for (size_t i = 0; i < hardArgs.size(); ++i) {
            const std::vector<std::wstring> lists[] = {
                {hardArgs[i]},
                {L"before", hardArgs[i], L"after"},
            };
            for (const std::vector<std::wstring>& args : lists) {
                Executor executor(program);
                executor.args() = args;
                std::vector<std::wstring> expected{program};
                expected.insert(expected.end(), args.begin(), args.end());
                EXPECT_EQ(splitCommandLine(executor.commandLine()), expected)
                    << "case " << i << " (" << narrow(hardArgs[i]) << ") in "
                    << narrow(executor.commandLine());
            }
        }
        Executor executor(program);
        executor.args() = hardArgs;
        std::vector<std::wstring> expected{program};
        expected.insert(expected.end(), hardArgs.begin(), hardArgs.end());
        EXPECT_EQ(splitCommandLine(executor.commandLine()), expected) << narrow(program);
    }
}

class CapturingAppender : public LogAppender {
public:
    void append(const LogRecord& record) override { messages.push_back(record.message); }
    bool contains(const std::wstring& text) const {
        for (const std::wstring& m : messages) {
            if (m.find(text) != std::wstring::npos) {
                return true;
            }
        }
        return false;
    }
    std::vector<std::wstring> messages;
};

// A copy of the child in a directory whose name holds a blank, and the
// child's report in the same place.
class ExecutorChild : public ::testing::Test {
protected:
    void SetUp() override {
        temp.reset(new testsupport::TempDir("morv executor"));
        dir = temp->path().wstring();
        childPath = dir + L"\\child app.exe";
        const std::wstring built = testsupport::utf16(testsupport::besideThisProgram("frontend_child"));
        ASSERT_TRUE(CopyFileW(built.c_str(), childPath.c_str(), FALSE));
        reportPath = dir + L"\\report.txt";
        env.set(L"FRONTEND_CHILD_REPORT", reportPath)
            .set(L"FRONTEND_CHILD_EXIT", std::nullopt)
            .set(L"FRONTEND_CHILD_SLEEP", std::nullopt);
        savedAppender = LogRouter::instance().getAppender();
        LogRouter::instance().setAppender(&log);
    }

    void TearDown() override { LogRouter::instance().setAppender(savedAppender); }

    // The PID of the last "CreateProcess... succeeded; PID=" record.
    DWORD createdPid() const {
        DWORD pid = 0;
        for (const std::wstring& m : log.messages) {
            const size_t at = m.find(L" succeeded; PID=");
            if (m.compare(0, 13, L"CreateProcess") == 0 && at != std::wstring::npos) {
                pid = static_cast<DWORD>(std::stoul(m.substr(at + 16)));
            }
        }
        return pid;
    }

    static bool processIsGone(DWORD pid) {
        HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
        if (!h) {
            return true;
        }
        const bool ended = WaitForSingleObject(h, 5000) == WAIT_OBJECT_0;
        CloseHandle(h);
        return ended;
    }

    std::unique_ptr<testsupport::TempDir> temp;
    testsupport::ScopedEnv env;
    std::wstring dir;
    std::wstring childPath;
    std::wstring reportPath;
    CapturingAppender log;
    LogAppender* savedAppender = nullptr;
};

TEST_F(ExecutorChild, ArgumentsReachTheChildUnchanged) {
    Executor executor(childPath);
    executor.args() = hardArgs;
    ASSERT_EQ(executor.execAndWaitForExit(), 0u);

    const ChildReport report = readChildReport(reportPath);
    ASSERT_TRUE(report.present);
    std::vector<std::wstring> expected{childPath};
    expected.insert(expected.end(), hardArgs.begin(), hardArgs.end());
    // Both parsers a child may use: its C runtime's argv and CommandLineToArgvW.
    EXPECT_EQ(report.crtArgs, expected);
    EXPECT_EQ(report.splitArgs, expected);
}

TEST_F(ExecutorChild, ReturnsTheExitCode) {
    const DWORD codes[] = {0, 42, 0xC0000005};
    for (const DWORD code : codes) {
        env.set(L"FRONTEND_CHILD_EXIT", std::to_wstring(code));
        log.messages.clear();
        EXPECT_EQ(Executor(childPath).execAndWaitForExit(), code) << "code " << code;
        EXPECT_TRUE(log.contains(L"terminated. Exit code=" + std::to_wstring(code)))
            << "code " << code;
    }
}

TEST_F(ExecutorChild, SuspendedChildIsPlacedInTheJobBeforeItRuns) {
    OwnedHandle job(CreateJobObjectW(nullptr, nullptr));
    ASSERT_TRUE(job);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ASSERT_TRUE(SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                        sizeof(limits)));

    int callbacks = 0;
    bool ranBeforeCallback = true;
    DWORD pidInCallback = 0;
    Executor executor(childPath);
    executor.suspended(true).jobObject(job.get()).onProcessCreated([&](HANDLE process) {
        ++callbacks;
        ranBeforeCallback = GetFileAttributesW(reportPath.c_str()) != INVALID_FILE_ATTRIBUTES;
        pidInCallback = GetProcessId(process);
    });
    ASSERT_EQ(executor.execAndWaitForExit(), 0u);

    EXPECT_EQ(callbacks, 1);
    EXPECT_FALSE(ranBeforeCallback);
    const ChildReport report = readChildReport(reportPath);
    ASSERT_TRUE(report.present);
    EXPECT_EQ(report.numbers.at("injob"), 1u);
    EXPECT_EQ(report.numbers.at("pid"), pidInCallback);
    EXPECT_TRUE(log.contains(L"CreateProcess[suspended]("));
    EXPECT_TRUE(log.contains(L"AssignProcessToJobObject(PID=" + std::to_wstring(pidInCallback) + L")"));
    EXPECT_TRUE(log.contains(L"ResumeThread()"));
}

// The long record format names the function of every record: each of the
// executor's records must carry its own.
TEST_F(ExecutorChild, RecordsNameTheirFunctionInTheLongFormat) {
    OwnedHandle job(CreateJobObjectW(nullptr, nullptr));
    ASSERT_TRUE(job);
    std::ostringstream out;
    StreamLogAppender stream(out);
    LogRouter::instance().setAppender(&stream);
    Executor executor(childPath);
    executor.suspended(true).jobObject(job.get());
    const std::uint32_t code = executor.execAndWaitForExit();
    LogRouter::instance().setAppender(&log);
    ASSERT_EQ(code, 0u);

    const struct {
        const char* message;
        const char* function;
    } expected[] = {
        {"TRACE: CreateProcess[suspended](", "Executor::startProcess"},
        {"TRACE: AssignProcessToJobObject(PID=", "Executor::startProcess"},
        {"TRACE: ResumeThread()", "Executor::execAndWaitForExit"},
        {"TRACE: Process with PID=", "Executor::execAndWaitForExit"},
    };
    // Each record is a header line "[..., Executor.cpp:<line> (<function>)]"
    // followed by a tab and "<level>: <message>".
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    for (const auto& e : expected) {
        bool found = false;
        for (size_t i = 1; i < lines.size() && !found; ++i) {
            if (lines[i].compare(0, 1 + std::strlen(e.message), std::string("\t") + e.message) == 0) {
                found = true;
                EXPECT_NE(lines[i - 1].find(std::string(" (") + e.function + ")]"), std::string::npos)
                    << lines[i - 1];
                EXPECT_NE(lines[i - 1].find(", Executor.cpp:"), std::string::npos) << lines[i - 1];
            }
        }
        EXPECT_TRUE(found) << e.message << "\n" << out.str();
    }
}

TEST_F(ExecutorChild, ChildThatIsNotSuspendedIsNotResumed) {
    ASSERT_EQ(Executor(childPath).execAndWaitForExit(), 0u);
    EXPECT_EQ(readChildReport(reportPath).numbers.at("injob"), 0u);
    EXPECT_FALSE(log.contains(L"ResumeThread()"));
}

TEST_F(ExecutorChild, VisibleDecidesTheFirstWindowState) {
    struct Case {
        bool visible;
        unsigned long startFlags;
        unsigned long showWindow;
    };
    const Case cases[] = {{false, STARTF_USESHOWWINDOW, SW_HIDE}, {true, 0, 0}};
    for (const Case& c : cases) {
        DeleteFileW(reportPath.c_str());
        ASSERT_EQ(Executor(childPath).visible(c.visible).execAndWaitForExit(), 0u);
        const ChildReport report = readChildReport(reportPath);
        ASSERT_TRUE(report.present) << "visible " << c.visible;
        EXPECT_EQ(report.numbers.at("startflags") & STARTF_USESHOWWINDOW, c.startFlags)
            << "visible " << c.visible;
        EXPECT_EQ(report.numbers.at("showwindow"), c.showWindow) << "visible " << c.visible;
    }
}

TEST_F(ExecutorChild, FailingCallbackTerminatesTheSuspendedChild) {
    HANDLE copy = nullptr;
    Executor executor(childPath);
    executor.suspended(true).onProcessCreated([&copy](HANDLE process) {
        DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        throw std::runtime_error("callback failed");
    });
    EXPECT_THROW(executor.execAndWaitForExit(), std::runtime_error);
    ASSERT_NE(copy, nullptr);
    OwnedHandle child(copy);
    EXPECT_EQ(WaitForSingleObject(child.get(), 0), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(child.get(), &code);
    EXPECT_EQ(code, 1u);
    EXPECT_FALSE(readChildReport(reportPath).present) << "the child ran";
}

TEST_F(ExecutorChild, FailingJobAssignmentTerminatesTheSuspendedChild) {
    // An event is no job: the assignment fails after the child exists.
    OwnedHandle notAJob(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Executor executor(childPath);
    executor.suspended(true).jobObject(notAJob.get());
    try {
        executor.execAndWaitForExit();
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("AssignProcessToJobObject() failed"), std::string::npos)
            << e.what();
    }
    const DWORD pid = createdPid();
    ASSERT_NE(pid, 0u);
    EXPECT_TRUE(processIsGone(pid));
    EXPECT_FALSE(readChildReport(reportPath).present) << "the child ran";
}

TEST_F(ExecutorChild, MissingProgramRaisesWithTheDescription) {
    Executor executor(dir + L"\\missing.exe");
    executor.suspended(true).inherit(true).args().push_back(L"x y");
    try {
        executor.execAndWaitForExit();
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("CreateProcess[suspended][inherit]("), std::string::npos) << what;
        EXPECT_NE(what.find("missing.exe\" \"x y\") failed"), std::string::npos) << what;
    }
}

TEST(OwnedHandleTest, ClosesExactlyTheHandleItHolds) {
    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE second = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto isOpen = [](HANDLE h) {
        DWORD flags = 0;
        return GetHandleInformation(h, &flags) != 0;
    };
    {
        OwnedHandle a(first);
        OwnedHandle b(std::move(a));
        EXPECT_EQ(a.get(), nullptr);
        EXPECT_EQ(b.get(), first);
        OwnedHandle c(second);
        c = std::move(b);
        EXPECT_FALSE(isOpen(second)) << "reassignment keeps the old handle open";
        EXPECT_TRUE(isOpen(first));
        EXPECT_EQ(c.get(), first);
        HANDLE released = c.release();
        EXPECT_EQ(released, first);
    }
    EXPECT_TRUE(isOpen(first)) << "a released handle was closed";
    OwnedHandle(first).reset();
    EXPECT_FALSE(isOpen(first));
}

} // namespace
