#include "DeadlineTimer.h"

#include "WaitTiming.h"

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
    approaching = WaitTiming::wakesForFinalStretch(limit);
    arm(approaching ? deadline - WaitTiming::FinalStretch : deadline - lastLead);
}

bool DeadlineTimer::take()
{
    const Duration woke = monotonicNow();
    if (approaching) {
        if (woke < deadline - WaitTiming::FinalStretch)
            return false; // woken for nothing
        // Re-arming clears the expiry too, without a read.
        approaching = false;
        arm(deadline - lastLead);
        return false;
    }
    std::uint64_t expiries = 0;
    if (::read(fd, &expiries, sizeof expiries) != sizeof expiries)
        return false;
    lastLead = WaitTiming::nextLead(lastLead, woke - deadline);
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
