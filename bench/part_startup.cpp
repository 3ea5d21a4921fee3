#include "Parts.h"
#include "Spawn.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

std::vector<Row> startup()
{
    std::vector<double> shown, rss;
    for (int i = 0; i < 10; ++i) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        int out = -1;
        // Offscreen, as the benchmark itself: it passes on its QT_QPA_PLATFORM.
        const pid_t child = spawn({STARTUP_PROGRAM, format("%.3f", now.tv_sec * 1e3 + now.tv_nsec / 1e6)}, &out);
        char line[128] = {};
        const ssize_t n = read(out, line, sizeof line - 1);
        close(out);
        waitpid(child, nullptr, 0);
        double msShown = 0, kb = 0;
        if (n > 0 && std::sscanf(line, "%lf %lf", &msShown, &kb) == 2) {
            shown.push_back(msShown);
            rss.push_back(kb / 1024);
        }
    }
    const Stats s = measured(shown, "start-up"), r = measured(rss, "resident memory");
    return {
        {"start-up to the window shown, offscreen (ms)",
         format("median %.1f, p90 %.1f, max %.1f", s.median, s.p90, s.max), "< 300", s.max < 300},
        {"resident memory of the idle window (MB)", format("median %.1f, max %.1f", r.median, r.max), "< 40",
         r.max < 40},
    };
}
