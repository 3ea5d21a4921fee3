#include "DeadlineTimer.h"

#include <chrono>
#include <stdexcept>
#include <string>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// Manual reset: the timer stays signalled until take() re-arms it, so that
// Qt's notifier on it and a wait of our own cannot take the signal from
// each other.
constexpr DWORD Kind = CREATE_WAITABLE_TIMER_MANUAL_RESET;
// Armed this far ahead, the timer is as good as off.
constexpr Duration Never = std::chrono::hours(24 * 365);
// A wait longer than twice this wakes this much before its deadline, and
// sleeps the rest on the timer alone: a wake that goes through Qt's event
// dispatcher may come some milliseconds late (up to 16 under Wine).
constexpr Duration FinalStretch = std::chrono::milliseconds(20);

Duration now()
{
    return std::chrono::steady_clock::now().time_since_epoch();
}

} // namespace

DeadlineTimer::DeadlineTimer()
{
    timer = CreateWaitableTimerExW(nullptr, nullptr, Kind | CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (!timer) {
        coarse = true;
        timer = CreateWaitableTimerExW(nullptr, nullptr, Kind, TIMER_ALL_ACCESS);
    }
    if (!timer)
        throw std::runtime_error("Cannot make a timer for the program's waits (error " +
                                 std::to_string(GetLastError()) + ").");
    if (coarse)
        timeBeginPeriod(1);
    arm(Never);
}

DeadlineTimer::~DeadlineTimer()
{
    if (coarse)
        timeEndPeriod(1);
    CloseHandle(timer);
}

void DeadlineTimer::start(Duration limit)
{
    deadline = now() + std::max(limit, Duration(1));
    arm(limit > 2 * FinalStretch ? limit - FinalStretch : limit);
}

bool DeadlineTimer::take()
{
    const Duration left = deadline - now();
    arm(left > Duration(0) ? left : Never);
    return left <= Duration(0);
}

void DeadlineTimer::sleepOut()
{
    do {
        WaitForSingleObject(timer, INFINITE);
    } while (!take());
}

// A negative due time is relative, in units of 100 ns. Setting the timer
// also clears its signal.
void DeadlineTimer::arm(Duration from_now)
{
    LARGE_INTEGER due;
    due.QuadPart = -std::max<LONGLONG>(1, static_cast<LONGLONG>((from_now.count() + 99) / 100));
    SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
}
