#pragma once

#include "Clock.h"

// A clock that moves only when a fake waits on it.
class VirtualClock final : public Clock {
public:
    Duration now() const override { return time; }
    void advanceTo(Duration t)
    {
        if (t > time)
            time = t;
    }

private:
    Duration time{0};
};
