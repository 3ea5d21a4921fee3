#pragma once

#include "Stats.h"

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

using Steady = std::chrono::steady_clock;

inline double ms(Steady::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Program and baseline take turns in blocks, so that whatever the machine
// does meanwhile falls on both; each block gives one ratio of medians.
constexpr int Blocks = 10;
// Turns of program and baseline per block where CPU is measured.
constexpr int CpuTurns = 5;

inline std::string spread(const Stats& s, const char* unit = "")
{
    return format("median %.2f, range %.2f to %.2f", s.median, s.min, s.max) + unit;
}

// The CPU that waits cost this thread, read from the scheduler's own count:
// getrusage() splits a thread's time by sampling ticks, and for a thread that
// runs a few microseconds per second it under-reports erratically (0.02 where
// this reads 0.35 ms in the same second).
class CpuUse {
public:
    template <typename Wait>
    void add(Wait wait)
    {
        const double cpuBefore = threadCpuMs();
        const auto start = Steady::now();
        wait();
        samples.push_back((threadCpuMs() - cpuBefore) / (ms(Steady::now() - start) / 1000));
    }
    // Milliseconds of CPU per second of wall-clock time, wait by wait.
    std::vector<double> samples;
    // The median of the last `count` waits.
    double lastMedian(int count) const { return Stats::of({samples.end() - count, samples.end()}).median; }

private:
    static double threadCpuMs()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }
};
