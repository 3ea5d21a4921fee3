#pragma once

#include "Types.h"

// A monotonic clock: a clock that is set back must never stretch a wait.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Duration now() const = 0;
};

class SteadyClock final : public Clock {
public:
    Duration now() const override { return std::chrono::steady_clock::now().time_since_epoch(); }
};
