#pragma once

#include <chrono>
#include <cstdint>

// A reply code of the dispenser, or 0 when no recognised reply came.
using CodeReponse = std::int16_t;

// Every duration and every clock reading of the program, in nanoseconds.
using Duration = std::chrono::nanoseconds;

inline Duration seconds(double s)
{
    return std::chrono::round<Duration>(std::chrono::duration<double>(s));
}
