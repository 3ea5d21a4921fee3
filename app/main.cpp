#include "Operator.h"
#include "PortDevices.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Ties the window to cvd-operator.desktop (its icon, its name in the
    // task list) whatever the program file is called.
    QGuiApplication::setDesktopFileName(QStringLiteral("cvd-operator"));
    return runCvdOperator(app, portDevices());
}
