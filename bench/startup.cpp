// Start-up probe: the program's own start-up (runCvdOperator: automaton
// library, serial control, window), timed from the moment the parent launched it to the first
// turn of the event loop after the window was shown. Prints "ms kB".

#include "Operator.h"
#include "ProcessStats.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

double monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    const double launched = argc > 1 ? std::atof(argv[1]) : monotonicMs();
    QApplication app(argc, argv);
    // The first turn of the event loop comes once the program's start-up has shown the window.
    QTimer::singleShot(0, [&] {
        const double shown = monotonicMs() - launched;
        QTimer::singleShot(200, [&, shown] {
            std::printf("%.2f %ld\n", shown, residentKb());
            app.quit();
        });
    });
    return runCvdOperator(app, {QStringLiteral("/dev/null-port")});
}
