#include <gtest/gtest.h>

#include "Log.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Trace records would flood the test output; the tests that look at
    // records install an appender of their own.
    static NopLogAppender quiet;
    LogRouter::instance().setAppender(&quiet);
    return RUN_ALL_TESTS();
}
