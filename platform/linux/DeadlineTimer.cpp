#include "DeadlineTimer.h"

#include <poll.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

// A wait longer than twice this wakes this much before its deadline: the
// first wake comes 0.1 to 0.35 ms late, and the rest is a short sleep.
constexpr Duration FinalStretch = std::chrono::microseconds(600);
// A short sleep wakes some tens of microseconds after its timer fires, as the
// machine allows. The last timer fires that much before the deadline, learnt
// from the last wakes so as to come this much early, and what is left is
// waited out on the clock.
constexpr Duration WakeMargin = std::chrono::microseconds(5);
constexpr Duration LongestLead = std::chrono::microseconds(200);

Duration monotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::chrono::seconds(now.tv_sec) + Duration(now.tv_nsec);
}

} // namespace

DeadlineTimer::DeadlineTimer()
    : fd(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
{
    if (fd < 0)
        throw std::runtime_error(std::string("Cannot make a timer for the program's waits: ") + std::strerror(errno));
}

DeadlineTimer::~DeadlineTimer()
{
    ::close(fd);
}

void DeadlineTimer::start(Duration limit)
{
    deadline = monotonicNow() + std::max(limit, Duration(1));
    approaching = limit > 2 * FinalStretch;
    arm(approaching ? deadline - FinalStretch : deadline - lastLead);
}

bool DeadlineTimer::take()
{
    const Duration woke = monotonicNow();
    if (approaching) {
        if (woke < deadline - FinalStretch)
            return false; // woken for nothing
        // Re-arming clears the expiry too, without a read.
        approaching = false;
        arm(deadline - lastLead);
        return false;
    }
    std::uint64_t expiries = 0;
    if (::read(fd, &expiries, sizeof expiries) != sizeof expiries)
        return false;
    lastLead = std::clamp(lastLead + (woke - deadline + WakeMargin) / 4, Duration(0), LongestLead);
    while (monotonicNow() < deadline) {
    }
    return true;
}

void DeadlineTimer::approached()
{
    approaching = false;
    arm(deadline - lastLead);
}

void DeadlineTimer::sleepOut()
{
    if (approaching)
        return; // woken for nothing: the deadline is still far
    pollfd due{fd, POLLIN, 0};
    do {
        ::poll(&due, 1, -1);
    } while (!take());
}

// Re-arming also clears an expiry not yet taken.
void DeadlineTimer::arm(Duration at)
{
    itimerspec expiry{};
    expiry.it_value.tv_sec = static_cast<time_t>(at.count() / 1'000'000'000);
    expiry.it_value.tv_nsec = static_cast<long>(at.count() % 1'000'000'000);
    timerfd_settime(fd, TFD_TIMER_ABSTIME, &expiry, nullptr);
}
