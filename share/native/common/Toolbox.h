#ifndef MORV_TOOLBOX_H
#define MORV_TOOLBOX_H

#include <functional>

#include "ErrorHandling.h"

// Runs one action when the scope ends; a failure of the action is logged and
// never propagates.
class AtEndOfScope {
public:
    explicit AtEndOfScope(std::function<void()> action) : action(std::move(action)) {}
    ~AtEndOfScope() {
        if (action) {
            reportAndContinue(CURRENT_SOURCE_POS, action);
        }
    }
    AtEndOfScope(const AtEndOfScope&) = delete;
    AtEndOfScope& operator=(const AtEndOfScope&) = delete;

    // Drops the action: nothing runs at the end of the scope.
    void cancel() { action = nullptr; }

private:
    std::function<void()> action;
};

#endif
