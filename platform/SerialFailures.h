#pragma once

#include "SerialError.h"

#include <QString>
#include <QStringList>

// What the serial controls tell the operator, the same on every platform.
// Each text names the port and its device, says what failed and what to do.
namespace SerialFailures {

inline QString noSuchPort(int port, const QStringList& devices)
{
    return QStringLiteral("Serial port %1 does not exist: this program was built for ports 1 to %2 (%3). "
                          "Rebuild it with SERIAL_PORT_DEVICES listing the device of each port.")
        .arg(port)
        .arg(devices.size())
        .arg(devices.join(QStringLiteral(", ")));
}

inline const QString noSuchDevice = QStringLiteral(
    "no such device: it is gone, or the device stopped answering. Check that the dispenser's cable or adapter "
    "is plugged in.");
inline const QString busy =
    QStringLiteral("busy or no permission. Close any other program using the port, and check that your account may use "
                   "serial ports"
#ifndef _WIN32
                   " (group dialout)"
#endif
                   ".");
inline const QString refusesSettings = QStringLiteral("the device does not accept the line settings.");
inline const QString cannotOpen = QStringLiteral("the device cannot be opened.");
inline const QString takesNoData =
    QStringLiteral("the line takes no data: a request could not be sent within one second. Check the cable and the "
                   "dispenser's power, then start the program again.");
inline const QString stoppedAnswering = QStringLiteral(
    "the device stopped answering (hang-up). Check the cable and the dispenser's power, then start the program "
    "again.");

inline QString cannotWatch(const QString& why)
{
    return QStringLiteral("the line cannot be watched for a hang-up (%1). Close other programs, or start the "
                          "program again.")
        .arg(why);
}

inline QString invalidSettings(const std::string& settings)
{
    return QStringLiteral("Invalid line settings \"%1\".").arg(QString::fromStdString(settings));
}

// "Serial port N (device): what".
[[noreturn]] inline void fail(int port, const QString& device, const QString& what)
{
    throw SerialError(QStringLiteral("Serial port %1 (%2): %3").arg(port).arg(device, what).toStdString());
}

} // namespace SerialFailures
