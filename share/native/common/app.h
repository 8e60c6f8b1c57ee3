#ifndef MORV_APP_H
#define MORV_APP_H

#include <functional>
#include <string>

#include "Log.h"

namespace app {

typedef std::function<void()> LaunchFunction;

// Runs `func` inside the launcher's error containment: 0 when it returned,
// 1 when it threw. The failure is logged once and its plain text handed to
// `errorAppender` (the default error appender when null). Never throws.
int launch(const LaunchFunction& func, LogAppender* errorAppender = nullptr);

// True exactly when VARNO_DEBUG is set to "true".
bool isDebugEnabled();

// Writes the last error text and a line end to standard error.
LogAppender& defaultErrorAppender();

// The plain text of the failure being reported by launch(), UTF-8; empty
// outside that reporting.
std::string getLastErrorText();

} // namespace app

#endif
