#pragma once

#include "VirtualClock.h"
#include "WindowEvents.h"

#include <functional>
#include <map>

// Window events on a virtual clock: waiting moves the clock, and actions
// scheduled for a time (a click, a close request) run when it is reached.
class FakeWindowEvents final : public WindowEvents {
public:
    explicit FakeWindowEvents(VirtualClock& clock)
        : clock(clock)
    {}

    void processPending() override;
    void waitForEvents(Duration limit) override;

    void at(Duration when, std::function<void()> action) { scheduled.emplace(when, std::move(action)); }

    // Runs on every round of event processing (for example Qt's own events).
    std::function<void()> onProcess;
    int processed = 0;

private:
    VirtualClock& clock;
    std::multimap<Duration, std::function<void()>> scheduled;
};
