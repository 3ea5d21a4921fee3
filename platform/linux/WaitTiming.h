#pragma once

#include "Types.h"

#include <algorithm>
#include <chrono>

// The arithmetic of a wait that must end on its deadline, to the tenth of a
// millisecond, on a Linux desk. Free of the clock, so that it can be checked
// on made-up wake times.
namespace WaitTiming {

using namespace std::chrono_literals;

// A long wait first wakes this long before its deadline: a sleep from a long
// idle ends 0.1 to 0.35 ms late, and what is left is one short sleep.
constexpr Duration FinalStretch = 600us;
// The last timer is aimed to wake the waiter this much before the deadline;
// what is left is waited out on the clock.
constexpr Duration WakeMargin = 5us;
// However slow the machine's wakes, the last timer fires at most this early.
constexpr Duration LongestLead = 200us;

// Whether a wait of `limit` first wakes for its final stretch: a short one
// sleeps to its last timer at once.
constexpr bool wakesForFinalStretch(Duration limit)
{
    return limit > 2 * FinalStretch;
}

// The lead of the next last timer: this one fired `lead` before the deadline
// and the waiter woke `wokeAfterDeadline` after it (negative when before).
// A quarter of the error at a time, so that one slow wake moves it little.
constexpr Duration nextLead(Duration lead, Duration wokeAfterDeadline)
{
    return std::clamp(lead + (wokeAfterDeadline + WakeMargin) / 4, Duration(0), LongestLead);
}

// How long QSerialPort may sleep on the line in a reply wait of `limit`
// before the deadline timer takes over; zero or less for no sleep. Its sleep
// counts whole milliseconds and may end 0.1 % of its length late, and a long
// one some tenths of a millisecond later still: it is asked for 0.2 % less,
// in whole milliseconds, and one millisecond less again.
constexpr std::chrono::milliseconds qtSleep(Duration limit)
{
    return std::chrono::floor<std::chrono::milliseconds>(limit - limit / 500) - 1ms;
}

} // namespace WaitTiming
