#pragma once

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

// Mean, median, 90th and 99th percentile, minimum and maximum of a set of samples.
struct Stats {
    double mean = 0, median = 0, p90 = 0, p99 = 0, min = 0, max = 0;
    std::size_t count = 0;

    static Stats of(std::vector<double> samples)
    {
        Stats s;
        if (samples.empty())
            return s;
        std::sort(samples.begin(), samples.end());
        auto at = [&](double q) {
            return samples[std::min(samples.size() - 1, static_cast<std::size_t>(q * samples.size()))];
        };
        s.median = at(0.5);
        s.p90 = at(0.9);
        s.p99 = at(0.99);
        s.min = samples.front();
        s.max = samples.back();
        s.count = samples.size();
        for (double v : samples)
            s.mean += v / static_cast<double>(samples.size());
        return s;
    }
};

// The statistics of a figure that must have been measured.
inline Stats measured(const std::vector<double>& samples, const std::string& figure)
{
    if (samples.empty())
        throw std::runtime_error("no measurement of " + figure);
    return Stats::of(samples);
}

// One row of the report: a figure, its goal, and whether it is met.
struct Row {
    std::string figure;
    std::string measured;
    std::string goal;
    bool met;
};

inline std::string format(const char* pattern, double a, double b = 0, double c = 0, double d = 0)
{
    char text[256];
    std::snprintf(text, sizeof text, pattern, a, b, c, d);
    return text;
}
