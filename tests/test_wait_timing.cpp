#include "WaitTiming.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace WaitTiming;

// A reply wait leaves QSerialPort a sleep that ends before the deadline even
// 0.1 % and 0.35 ms late, and the final stretch to the deadline timer.
TEST(WaitTiming, QtSleepsShortOfTheDeadline)
{
    const struct {
        Duration limit;
        std::chrono::milliseconds sleep;
        bool finalStretch;
    } rows[] = {{1s, 997ms, true}, {1500ms, 1496ms, true}, {100ms, 98ms, true},
                {2ms, 0ms, true},  {1200us, 0ms, false},   {1ms, -1ms, false}};
    for (const auto& r : rows) {
        EXPECT_EQ(qtSleep(r.limit), r.sleep) << r.limit.count();
        EXPECT_EQ(wakesForFinalStretch(r.limit), r.finalStretch) << r.limit.count();
        if (r.sleep > 0ms) {
            EXPECT_LT(r.sleep + r.sleep / 1000 + 350us, r.limit) << r.limit.count();
        }
    }
}

// On made-up machines that wake a fixed time after a timer fires, the last
// timer's lead settles where the wait wakes just before its deadline, never
// beyond the longest lead, and one slow wake moves it by a quarter.
TEST(WaitTiming, TheLastTimersLeadLearnsTheMachinesWake)
{
    const struct {
        Duration wake, settled;
    } machines[] = {{0us, 5us}, {40us, 45us}, {150us, 155us}, {300us, LongestLead}};
    for (const auto& m : machines) {
        Duration lead = 40us;
        for (int i = 0; i < 60; ++i)
            lead = nextLead(lead, m.wake - lead);
        EXPECT_NEAR(lead.count(), m.settled.count(), 1000) << m.wake.count();
    }
    // Settled at 45 µs, a wake 400 µs after the timer fired: 355 µs late.
    EXPECT_EQ(nextLead(45us, 400us - 45us), 135us);
}
