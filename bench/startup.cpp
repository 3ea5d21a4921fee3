// Start-up probe: the program's own start-up (automaton library, window,
// serial control), timed from the moment the parent launched it to the first
// turn of the event loop after the window was shown. Prints "ms kB".

#include "Clock.h"
#include "FrmPrincipal.h"
#include "GrafcetLibrary.h"
#include "OperatorReport.h"
#include "ProcessStats.h"
#include "QtWindowEvents.h"
#include "SerialPortControl.h"

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
    GrafcetLibrary automate(GrafcetLibrary::locate(app.applicationDirPath()));
    SerialPortControl msComm1({"/dev/null-port"});
    SteadyClock clock;
    QtWindowEvents events;
    OperatorReport report(false);
    FrmPrincipal window(msComm1, automate, clock, events, report);
    window.Form_Load();
    window.show();
    QTimer::singleShot(0, [&] {
        const double shown = monotonicMs() - launched;
        QTimer::singleShot(200, [&, shown] {
            std::printf("%.2f %ld\n", shown, residentKb());
            app.quit();
        });
    });
    return app.exec();
}
