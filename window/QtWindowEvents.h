#pragma once

#include "DeadlineNotifier.h"
#include "DeadlineTimer.h"
#include "WindowEvents.h"

// Window events processed by Qt on the calling (window) thread. A wait sleeps
// in Qt's event dispatcher, which a deadline timer wakes on time when no
// window event does.
class QtWindowEvents final : public WindowEvents {
public:
    QtWindowEvents();

    void processPending() override;
    void waitForEvents(Duration limit) override;

private:
    DeadlineTimer deadline;
    DeadlineNotifier deadlineNotifier{deadline};
    // The timer woke the dispatcher for the wait's last stretch.
    bool lastStretch = false;
};
