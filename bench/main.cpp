// Measures the program's waits side by side with a bare termios exchange on
// the same kind of pseudo-terminal, and prints a Markdown table of figures,
// goals and verdicts.

#include "Parts.h"

#include <QApplication>

#include <sys/mman.h>

#include <cstdio>
#include <stdexcept>

int main(int argc, char** argv)
{
    // Some machines page out what has not been touched for a while even
    // without memory pressure (DAMON's proactive reclaim, seen here after 60
    // s): the code of a port opening, run once per 25-second attempt, then
    // comes back from disk in milliseconds. A desk keeps it, and so does the
    // benchmark: every page it touches stays in memory.
    if (mlockall(MCL_CURRENT | MCL_FUTURE | MCL_ONFAULT) != 0)
        std::perror("cvd_bench: memory not locked, idle pages may be paged out meanwhile");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // Names on the command line measure only those parts.
    const std::vector<std::pair<QString, std::vector<Row> (*)()>> parts{
        {"latency", replyLatency}, {"waits", waits}, {"dispense", wholeDispense}, {"startup", startup}};
    const QStringList chosen = app.arguments().mid(1);
    std::vector<Row> rows;
    try {
        for (const auto& [name, part] : parts) {
            if (!chosen.isEmpty() && !chosen.contains(name))
                continue;
            auto some = part();
            rows.insert(rows.end(), some.begin(), some.end());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "A measurement failed: %s\n", e.what());
        return 2;
    }
    std::printf("| figure | measured | goal | met |\n|---|---|---|---|\n");
    int unmet = 0;
    for (const Row& row : rows) {
        std::printf("| %s | %s | %s | %s |\n", row.figure.c_str(), row.measured.c_str(), row.goal.c_str(),
                    row.met ? "yes" : "**no**");
        unmet += row.met ? 0 : 1;
    }
    // Every figure was measured; the table tells which goals were met.
    if (unmet > 0)
        std::fprintf(stderr, "%d goal(s) not met\n", unmet);
    return 0;
}
