#pragma once

#include "Types.h"

// A one-shot timer whose descriptor becomes readable near its deadline, for
// waits that must end on time to the tenth of a millisecond.
//
// A poll() or Qt timer sleep of an ordinary process may end up to 0.1 % of
// its length late (the kernel's slack for such sleeps: 1 ms on a one-second
// wait), and Qt's timers count whole milliseconds. A timerfd on the monotonic
// clock has neither, and never fires early. What is left is the time the
// machine takes to wake from a long idle: about 0.15 ms on a virtual
// machine, against 0.04 ms from a short one. So a long wait wakes once a
// little before its deadline, and then sleeps the last stretch, whose timer
// fires early by about as long as the machine took to wake from the last ones
// (the numbers are in WaitTiming.h).
//
// Its states, for one wait:
//   approaching  armed for the start of the final stretch (a long wait);
//   final        armed for the last timer, a little before the deadline;
//   done         the deadline has come.
// Call order: start(); then, each time descriptor() becomes readable (polled
// along with the caller's own descriptors), take(), which is true once done
// and otherwise moves approaching to final. A caller that slept on its own
// until near the deadline calls approached() instead of waiting for the
// first wake. sleepOut() finishes a wait in its final state on the timer
// alone; while approaching it returns at once. start() begins a new wait in
// any state.
class DeadlineTimer {
public:
    DeadlineTimer();
    ~DeadlineTimer();
    DeadlineTimer(const DeadlineTimer&) = delete;
    DeadlineTimer& operator=(const DeadlineTimer&) = delete;

    // Arms the timer `limit` from now (at once when it is not positive),
    // replacing any earlier deadline.
    void start(Duration limit);
    // After the descriptor became readable: true once the deadline has come,
    // false when the timer woke for its last stretch, or for nothing.
    bool take();
    // After a sleep of the caller's own that ended near the deadline: the
    // timer now fires for the last stretch.
    void approached();
    // In the last stretch, sleeps on the descriptor alone until the deadline.
    void sleepOut();
    int descriptor() const { return fd; }

private:
    void arm(Duration at);

    int fd = -1;
    Duration deadline{0};
    bool approaching = false;
    // How long before the deadline the last timer fires.
    Duration lastLead = std::chrono::microseconds(40);
};
