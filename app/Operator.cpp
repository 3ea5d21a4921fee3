#include "Operator.h"

#include "Clock.h"
#include "FrmPrincipal.h"
#include "GrafcetLibrary.h"
#include "OperatorReport.h"
#include "QtWindowEvents.h"
#include "SerialPortControl.h"

#include <QApplication>
#include <QGuiApplication>

#include <exception>

std::unique_ptr<FrmPrincipal> openWindow(Automate& automate, Platform& platform)
{
    auto window =
        std::make_unique<FrmPrincipal>(platform.msComm1, automate, platform.clock, platform.events, platform.messages);
    window->Form_Load();
    window->show();
    return window;
}

int runWindow(Automate& automate, Platform& platform)
{
    const std::unique_ptr<FrmPrincipal> window = openWindow(automate, platform);
    return QApplication::exec();
}

int runCvdOperator(QApplication& app, const QStringList& devices)
{
    OperatorReport report(QGuiApplication::platformName() != QStringLiteral("offscreen"));
    try {
        const QString programDir = app.applicationDirPath();
        const std::unique_ptr<Automate> automate = openAutomate(GrafcetLibrary::locate(programDir), programDir);
        SerialPortControl msComm1(devices);
        SteadyClock clock;
        QtWindowEvents events;
        Platform platform{msComm1, clock, events, report};
        return runWindow(*automate, platform);
    } catch (const std::exception& error) {
        report.fatal(QString::fromStdString(error.what()));
        return 1;
    }
}
