#pragma once

#include "FakeMainWindow.h"
#include "ForwardingComm.h"
#include "LiaisonCVD.h"
#include "Measure.h"
#include "RealPlatform.h"

// Notes when each request was sent, when it was on the line, and when its
// reply was read.
class TimedControl final : public ForwardingComm {
public:
    using ForwardingComm::ForwardingComm;
    void setPortOpen(bool o) override
    {
        const auto start = Steady::now();
        inner.setPortOpen(o);
        opening += Steady::now() - start;
    }
    void output(const std::string& b) override
    {
        sent = Steady::now();
        inner.output(b);
        written = Steady::now();
        writing += written - sent;
    }
    std::int16_t inBufferCount() override
    {
        const std::int16_t count = inner.inBufferCount();
        counted = Steady::now();
        return count;
    }
    std::string input() override
    {
        std::string bytes = inner.input();
        if (sent != Steady::time_point{}) {
            const auto now = Steady::now();
            replies += now - sent;
            lastWait = counted - written;
            waitsBeyond += lastWait - std::chrono::seconds(1);
        }
        sent = {};
        return bytes;
    }
    void waitForInput(Duration limit) override
    {
        replyWaits.add([&] { inner.waitForInput(limit); });
    }

    // From each request's sending to its reply's reading, added up.
    Steady::duration replies{0};
    // From the last request being on the line to the count that ended its wait.
    Steady::duration lastWait{0};
    Steady::duration writing{0}, waitsBeyond{0}, opening{0};
    CpuUse replyWaits;

private:
    Steady::time_point sent{}, written{}, counted{};
};

// The program's link on a real serial control, its exchanges timed.
struct TimedLink {
    explicit TimedLink(const std::string& device)
        : real(device),
          timed(real.control),
          window(timed),
          liaison(window, real.clock, real.events)
    {
        liaison.NumPort = 1;
    }
    RealLink real;
    TimedControl timed;
    FakeMainWindow window;
    LiaisonCVD liaison;
};
