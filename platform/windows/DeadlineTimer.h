#pragma once

#include "Types.h"

#include <windows.h>

// A one-shot waitable timer that is signalled at its deadline, for waits
// that must end on time. A high-resolution timer where Windows has one (10
// version 1803 and later); elsewhere the system timer is asked for 1 ms
// ticks while the program runs, since its default tick is 15.6 ms.
//
// Call order: start(), then wait on handle() with other objects; each time
// it is signalled, take() says whether the deadline has come (a timer may
// fire a tick early; take() then arms it for the rest, and clears the signal
// in any case). sleepOut() waits on
// the timer alone. approached() is there for the callers that share code
// with the Linux timer, which wakes twice; here it does nothing.
class DeadlineTimer {
public:
    DeadlineTimer();
    ~DeadlineTimer();
    DeadlineTimer(const DeadlineTimer&) = delete;
    DeadlineTimer& operator=(const DeadlineTimer&) = delete;

    void start(Duration limit);
    bool take();
    void approached() {}
    void sleepOut();
    HANDLE handle() const { return timer; }

private:
    void arm(Duration from_now);

    HANDLE timer = nullptr;
    bool coarse = false;
    Duration deadline{0};
};
