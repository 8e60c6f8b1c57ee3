#include "WinApi.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "Environment.h"
#include "ErrorHandling.h"
#include "WinApp.h"

namespace {

// Runs without a display, where the error message box returns at once; the
// box itself is checked by the dialog test under xvfb-run.
TEST(WinLaunch, ResultIsTheLaunchOutcome) {
    struct Case {
        const char* name;
        std::function<void()> func;
        int expected;
    };
    const Case cases[] = {
        {"returns", [] {}, 0},
        {"raises", [] { RAISE_ERROR("launch failed"); }, 1},
        {"throws a logic error", [] { throw std::logic_error("x"); }, 1},
    };
    testsupport::ScopedEnv debug("VARNO_DEBUG", std::nullopt);
    for (const Case& c : cases) {
        EXPECT_EQ(app::wlaunch(c.func), c.expected) << c.name;
        EXPECT_EQ(app::getLastErrorText(), "") << c.name;
    }
}

} // namespace
