// The parts of morv.exe that need a display: the error message box and the
// debug console. Run under xvfb-run, in a Wine prefix of its own.

#include "WinApi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LaunchImage.h"

namespace {

using e2e::LaunchImage;
using testsupport::ChildResult;
using testsupport::ScopedEnv;

struct FoundBox {
    bool found = false;
    std::wstring text;
    bool hasOkButton = false;
};

// Waits for the top-level dialog captioned `caption` that belongs to `pid`,
// reads its text and presses OK.
FoundBox answerMessageBox(DWORD pid, const std::wstring& caption, DWORD timeoutMs) {
    FoundBox box;
    for (DWORD waited = 0; waited < timeoutMs && !box.found; waited += 100) {
        HWND dialog = nullptr;
        while ((dialog = FindWindowExW(nullptr, dialog, L"#32770", caption.c_str())) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(dialog, &owner);
            if (owner == pid && IsWindowVisible(dialog)) {
                break;
            }
        }
        if (!dialog) {
            Sleep(100);
            continue;
        }
        box.found = true;
        // The message text is the static control with the id 0xFFFF.
        wchar_t text[1024] = {0};
        GetDlgItemTextW(dialog, 0xFFFF, text, 1024);
        box.text = text;
        HWND ok = GetDlgItem(dialog, IDOK);
        box.hasOkButton = ok != nullptr && GetDlgItem(dialog, IDCANCEL) == nullptr;
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    }
    return box;
}

TEST(Display, FailedLaunchShowsThePlainErrorInABoxCaptionedWithTheProgramName) {
    LaunchImage image("dialog");
    image.writeCfg("[Application]\n");
    ScopedEnv env;
    env.set(L"VARNO_DEBUG", std::nullopt);
    const std::wstring runtimeDir = (image.root / L"runtime").wstring();
    FoundBox box;
    const ChildResult r = e2e::run(image.launcher(), {}, 120000, [&](const testsupport::RunningChild& running) {
        box = answerMessageBox(running.pid, L"morv.exe", 90000);
    });
    ASSERT_TRUE(box.found) << "no message box; " << r.err;
    EXPECT_EQ(box.text, L"Failed to find JVM in \"" + runtimeDir + L"\" directory.");
    EXPECT_TRUE(box.hasOkButton);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1u);
    // The same text went to standard error before the box was shown.
    EXPECT_EQ(r.err, testsupport::utf8(box.text) + "\n");
}

// The restart cannot create its child (the launcher's file was renamed while
// it started): the box says why, with the system's description.
TEST(Display, FailedRestartShowsTheSystemErrorInTheBox) {
    LaunchImage image("restart dialog");
    image.writeCfg("[Application]\n");
    image.installTestRuntime();
    ScopedEnv env;
    env.set(L"VARNO_DEBUG", std::nullopt);
    const std::filesystem::path renamed = image.root / L"renamed.exe";
    FoundBox box;
    const ChildResult r = e2e::run(
        image.launcher(), {}, 120000,
        [&](const testsupport::RunningChild& running) {
            MoveFileW(image.launcher().wstring().c_str(), renamed.wstring().c_str());
            ResumeThread(running.thread);
            box = answerMessageBox(running.pid, L"morv.exe", 90000);
        },
        CREATE_SUSPENDED);
    ASSERT_TRUE(box.found) << "no message box; " << r.err;
    const std::wstring launcher = image.launcher().wstring();
    const std::wstring expected = L"CreateProcess[suspended][visible][inherit](" + launcher +
                                  L", \"" + launcher + L"\") failed. System error [2](system error 2 (";
    EXPECT_EQ(box.text.compare(0, expected.size(), expected), 0) << testsupport::utf8(box.text);
    EXPECT_EQ(box.text.find(L"No description available"), std::wstring::npos);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.err, testsupport::utf8(box.text) + "\n");
}

// This process's own console, whose screen buffer the launcher writes to
// when it attaches to it.
class ConsoleBuffer {
public:
    ConsoleBuffer() {
        FreeConsole();
        ok = AllocConsole() != 0;
        // Wine hands out a usable screen buffer handle here, not through
        // opening CONOUT$.
        out = GetStdHandle(STD_OUTPUT_HANDLE);
        ok = ok && out != nullptr && out != INVALID_HANDLE_VALUE &&
             SetConsoleScreenBufferSize(out, COORD{width, height}) != 0;
    }
    ~ConsoleBuffer() { FreeConsole(); }

    void clear() {
        DWORD n = 0;
        FillConsoleOutputCharacterW(out, L' ', width * height, COORD{0, 0}, &n);
        SetConsoleCursorPosition(out, COORD{0, 0});
    }

    // The written lines, trailing blanks removed, up to the cursor.
    std::vector<std::wstring> lines() const {
        std::vector<std::wstring> result;
        CONSOLE_SCREEN_BUFFER_INFO info{};
        GetConsoleScreenBufferInfo(out, &info);
        for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
            std::wstring line(width, L' ');
            DWORD n = 0;
            ReadConsoleOutputCharacterW(out, &line[0], width, COORD{0, y}, &n);
            line.resize(n);
            line.erase(line.find_last_not_of(L' ') + 1);
            if (!line.empty()) {
                result.push_back(line);
            }
        }
        return result;
    }

    bool ok = false;

private:
    static constexpr SHORT width = 400;
    static constexpr SHORT height = 2000;
    HANDLE out = INVALID_HANDLE_VALUE;
};

size_t countContaining(const std::vector<std::wstring>& lines, const std::wstring& text) {
    size_t n = 0;
    for (const std::wstring& l : lines) {
        n += l.find(text) != std::wstring::npos;
    }
    return n;
}

// What one detached launch left on the console, and the whole of it as UTF-8
// for failure messages.
struct ConsoleRun {
    ChildResult result;
    std::vector<std::wstring> lines;
    std::string all;
};

ConsoleRun runOnConsole(ConsoleBuffer& console, const LaunchImage& image) {
    console.clear();
    // Detached, as a GUI program started from a command window is on
    // Windows: Wine would otherwise connect it to this console itself.
    ConsoleRun run{e2e::run(image.launcher(), {L"x"}, 60000, {}, DETACHED_PROCESS), console.lines(), {}};
    std::wstring all;
    for (const std::wstring& l : run.lines) {
        all += l + L"\n";
    }
    run.all = testsupport::utf8(all);
    return run;
}

TEST(Display, DebugTraceGoesToTheConsoleEvenWithStandardErrorRedirected) {
    ConsoleBuffer console;
    ASSERT_TRUE(console.ok);
    LaunchImage image("console");
    image.installTestRuntime();
    image.writeCfg("[Application]\n");
    ScopedEnv env;
    env.set(L"VARNO_DEBUG", std::wstring(L"true"))
        .set(L"MORV_TEST_JLI_RECORD", std::nullopt)
        .set(L"PATH", testsupport::getEnv(L"PATH").value_or(L"") + L";" + image.appDir().wstring());

    const ConsoleRun run = runOnConsole(console, image);
    const ChildResult& r = run.result;
    const std::vector<std::wstring>& lines = run.lines;
    const std::string& all = run.all;
    ASSERT_EQ(r.exitCode, 0u);
    ASSERT_GE(lines.size(), 2u) << all;
    EXPECT_NE(lines.front().find(L"[TRACE] app.cpp:"), std::wstring::npos) << all;
    EXPECT_NE(lines.front().find(L": Entering app::launch"), std::wstring::npos) << all;
    EXPECT_NE(lines.back().find(L": Exiting app::launch"), std::wstring::npos) << all;
    // The direct path reads the configuration once, in createJvm.
    EXPECT_EQ(countContaining(lines, L"Launcher config file path: "), 1u) << all;
    EXPECT_EQ(countContaining(lines, L"CreateProcess"), 0u) << all;
    EXPECT_EQ(r.err, "") << "the trace stayed on the redirected stream";
}

TEST(Display, DebugTraceOfTheRestartShowsBothProcesses) {
    ConsoleBuffer console;
    ASSERT_TRUE(console.ok);
    LaunchImage image("console restart");
    image.installTestRuntime();
    image.writeCfg("[Application]\n");
    ScopedEnv env;
    env.set(L"VARNO_DEBUG", std::wstring(L"true")).set(L"MORV_TEST_JLI_RECORD", std::nullopt);

    const ConsoleRun run = runOnConsole(console, image);
    const ChildResult& r = run.result;
    const std::vector<std::wstring>& lines = run.lines;
    const std::string& all = run.all;
    ASSERT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.err, "") << "the trace stayed on the redirected stream";
    EXPECT_EQ(countContaining(lines, L"Entering app::launch"), 2u) << all;
    // The first process ends from inside the launch with the child's code,
    // so only the child leaves app::launch.
    EXPECT_EQ(countContaining(lines, L"Exiting app::launch"), 1u) << all;
    EXPECT_EQ(countContaining(lines, L"CreateProcess[suspended][visible][inherit]("), 1u)
        << all;
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find(L"Executor worker thread terminated. Exit code=0"), std::wstring::npos)
        << all;
}

} // namespace
