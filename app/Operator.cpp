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

int runWindow(Automate& automate, Platform& platform)
{
    FrmPrincipal window(platform.msComm1, automate, platform.clock, platform.events, platform.messages);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}

int runCvdOperator(QApplication& app, const QStringList& devices)
{
    OperatorReport report(QGuiApplication::platformName() != QStringLiteral("offscreen"));
    try {
        GrafcetLibrary automate(GrafcetLibrary::locate(app.applicationDirPath()));
        SerialPortControl msComm1(devices);
        SteadyClock clock;
        QtWindowEvents events;
        Platform platform{msComm1, clock, events, report};
        return runWindow(automate, platform);
    } catch (const std::exception& error) {
        report.fatal(QString::fromStdString(error.what()));
        return 1;
    }
}
