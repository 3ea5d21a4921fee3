#pragma once

#include "Types.h"

#include <windows.h>

// A one-shot waitable timer that is signalled at its deadline, for waits
// that must end on time. A high-resolution timer where Windows has one (10
// version 1803 and later); elsewhere the system timer is asked for 1 ms
// ticks while the program runs, since its default tick is 15.6 ms.
//
// A long wait is signalled a little before its deadline, for the last
// stretch, as a wake through Qt's event dispatcher may come late.
//
// Call order: start(), then wait on handle() with other objects; each time
// it is signalled, take() says whether the deadline has come (before it,
// take() arms the timer for the rest, and clears the signal in any case).
// sleepOut() waits on the timer alone until the deadline.
class DeadlineTimer {
public:
    DeadlineTimer();
    ~DeadlineTimer();
    DeadlineTimer(const DeadlineTimer&) = delete;
    DeadlineTimer& operator=(const DeadlineTimer&) = delete;

    void start(Duration limit);
    bool take();
    void sleepOut();
    HANDLE handle() const { return timer; }

private:
    void arm(Duration from_now);

    HANDLE timer = nullptr;
    bool coarse = false;
    Duration deadline{0};
};
