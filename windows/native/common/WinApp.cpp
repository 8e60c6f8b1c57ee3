#include "WinApp.h"

#include "WinApi.h"

#include <iostream>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "SysInfo.h"
#include "Toolbox.h"
#include "tstrings.h"

Console::Channel::Channel(std::FILE* stream) : reopened(nullptr), stream(stream) {
    // A failed re-opening leaves the stream as it was; nothing to report to,
    // since this stream is how reports would get out.
    if (freopen_s(&reopened, "CONOUT$", "w", stream) != 0) {
        reopened = nullptr;
    }
    std::ios::sync_with_stdio(true);
}

Console::Channel::~Channel() {
    reportAndContinue(CURRENT_SOURCE_POS, [this]() {
        if (reopened) {
            std::fclose(reopened);
            reopened = nullptr;
        }
        std::ios::sync_with_stdio(true);
    });
}

Console::Console() {
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && !AllocConsole()) {
        return;
    }
    stdoutChannel.reset(new Channel(stdout));
    stderrChannel.reset(new Channel(stderr));
}

Console::~Console() {
    stderrChannel.reset();
    stdoutChannel.reset();
}

void LastErrorGuiLogAppender::append(const LogRecord&) {
    // A failure below is logged, and its record comes back here through the
    // same tee: without this guard each report would report its own failure
    // again until the stack ran out, writing the error text every time.
    static bool showing = false;
    if (showing) {
        return;
    }
    showing = true;
    const AtEndOfScope done([]() { showing = false; });
    reportAndContinue(CURRENT_SOURCE_POS, []() {
        const tstring text = tstrings::decodeUtf8(app::getLastErrorText());
        const tstring caption = FileUtils::basename(SysInfo::getProcessModulePath());
        MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_ICONERROR);
    });
}

namespace app {

int wlaunch(const LaunchFunction& func) {
    std::unique_ptr<Console> console;
    if (isDebugEnabled()) {
        reportAndContinue(CURRENT_SOURCE_POS, [&console]() { console.reset(new Console()); });
    }
    int result;
    {
        LastErrorGuiLogAppender dialogAppender;
        TeeLogAppender tee(&defaultErrorAppender(), &dialogAppender);
        result = launch(func, &tee);
    }
    console.reset();
    return result;
}

} // namespace app
