#pragma once

#include "Types.h"

// The window system's event processing, as seen from inside a running handler.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;

    // Runs every window event that is waiting (repaints, clicks, closes).
    virtual void processPending() = 0;
    // Sleeps until a window event arrives or `limit` has passed, and runs
    // what arrived.
    virtual void waitForEvents(Duration limit) = 0;
};
