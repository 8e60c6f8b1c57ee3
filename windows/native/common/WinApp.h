#ifndef MORV_WINAPP_H
#define MORV_WINAPP_H

#include <cstdio>
#include <memory>

#include "Log.h"
#include "app.h"

namespace app {

// The entry of a GUI-subsystem launcher: a console for the debug trace when
// VARNO_DEBUG is "true", a message box for the final error, then launch().
// Never throws.
int wlaunch(const LaunchFunction& func);

} // namespace app

// Connects a GUI process to a console (its parent's, or a new one) and
// re-binds standard output and standard error to it. The console itself stays
// attached until the process ends.
class Console {
public:
    Console();
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // One standard stream re-opened on the console's output device.
    class Channel {
    public:
        explicit Channel(std::FILE* stream);
        virtual ~Channel();
        Channel(const Channel&) = delete;
        Channel& operator=(const Channel&) = delete;

    private:
        // Returned by the re-opening; null when it failed. Closing it closes
        // the standard stream itself.
        std::FILE* reopened;
        // Not owned.
        std::FILE* stream;
    };

private:
    std::unique_ptr<Channel> stdoutChannel;
    std::unique_ptr<Channel> stderrChannel;
};

// Shows the text of the failure being reported by app::launch() in an error
// message box captioned with the program's file name.
class LastErrorGuiLogAppender : public LogAppender {
public:
    void append(const LogRecord& record) override;
};

#endif
