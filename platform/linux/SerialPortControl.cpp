#include "SerialPortControl.h"

#include "SerialError.h"

#include <QString>

#include <poll.h>

#include <cerrno>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// Received bytes kept in memory at most; a flood beyond it waits in the system.
constexpr qint64 ReadBufferLimit = 4096;
constexpr int WriteTimeoutMs = 1000;
// QSerialPort's sleep may end 0.1 % of its length late, and a long sleep
// wakes some tenths of a millisecond late besides: it is asked for 0.2 % less
// than the wait, in whole milliseconds, and this less again.
constexpr std::chrono::milliseconds LateEndMargin{1};

QSerialPort::Parity parseParity(const QString& p, bool& ok)
{
    ok = true;
    if (p == "E")
        return QSerialPort::EvenParity;
    if (p == "O")
        return QSerialPort::OddParity;
    if (p == "N")
        return QSerialPort::NoParity;
    if (p == "M")
        return QSerialPort::MarkParity;
    if (p == "S")
        return QSerialPort::SpaceParity;
    ok = false;
    return QSerialPort::NoParity;
}

} // namespace

SerialPortControl::SerialPortControl(QStringList devices)
    : devices(std::move(devices))
{}

void SerialPortControl::lineLost()
{
    lost = true;
    port.close();
}

void SerialPortControl::checkLine()
{
    hangUpWatch.check();
    if (lost)
        failStoppedAnswering();
}

void SerialPortControl::setCommPort(std::int16_t portNumber)
{
    commPort = portNumber;
}

// Takes the settings as "baud,parity,data bits,stop bits", for example "9600,E,8,1".
void SerialPortControl::setSettings(const std::string& settings)
{
    const QStringList fields = QString::fromStdString(settings).toUpper().split(',');
    bool baudOk = false, parityOk = false, dataOk = false;
    LineSettings parsed;
    if (fields.size() == 4) {
        parsed.baud = fields[0].toInt(&baudOk);
        parsed.parity = parseParity(fields[1], parityOk);
        const int data = fields[2].toInt(&dataOk);
        dataOk = dataOk && data >= 5 && data <= 8;
        parsed.dataBits = static_cast<QSerialPort::DataBits>(data);
        parsed.stopBits = fields[3] == "2"     ? QSerialPort::TwoStop
                          : fields[3] == "1.5" ? QSerialPort::OneAndHalfStop
                                               : QSerialPort::OneStop;
        baudOk = baudOk && parsed.baud > 0 && (fields[3] == "1" || fields[3] == "1.5" || fields[3] == "2");
    }
    if (!(baudOk && parityOk && dataOk))
        throw SerialError(
            QStringLiteral("Invalid line settings \"%1\".").arg(QString::fromStdString(settings)).toStdString());
    line = parsed;
}

void SerialPortControl::setInputLen(std::int16_t length)
{
    inputLen = length;
}

// Text and binary input read the same bytes here: each byte is one character.
void SerialPortControl::setInputMode(std::int16_t) {}

bool SerialPortControl::portOpen() const
{
    return port.isOpen() || lost;
}

void SerialPortControl::setPortOpen(bool open)
{
    if (open == portOpen())
        return;
    if (open) {
        this->open();
    } else {
        hangUpWatch.stop();
        lost = false;
        port.close();
    }
}

void SerialPortControl::open()
{
    if (commPort < 1 || commPort > devices.size())
        throw SerialError(
            QStringLiteral("Serial port %1 does not exist: this program was built for ports 1 to %2 (%3). "
                           "Rebuild it with SERIAL_PORT_DEVICES listing the device of each port.")
                .arg(commPort)
                .arg(devices.size())
                .arg(devices.join(QStringLiteral(", ")))
                .toStdString());

    // A pseudo-terminal cannot change parity once open, so everything is set before.
    port.setPortName(devices[commPort - 1]);
    port.setBaudRate(line.baud);
    port.setParity(line.parity);
    port.setDataBits(line.dataBits);
    port.setStopBits(line.stopBits);
    port.setFlowControl(QSerialPort::NoFlowControl);

    if (!port.open(QIODevice::ReadWrite)) {
        switch (port.error()) {
        case QSerialPort::DeviceNotFoundError:
            fail(QStringLiteral("no such device: it is gone, or the device stopped answering. Check that the "
                                "dispenser's cable or adapter is plugged in."));
        case QSerialPort::PermissionError:
            fail(QStringLiteral("busy or no permission. Close any other program using the port, and check "
                                "that your account may use serial ports (group dialout)."));
        case QSerialPort::UnsupportedOperationError:
            fail(QStringLiteral("the device does not accept the line settings."));
        default: fail(QStringLiteral("the device cannot be opened."));
        }
    }
    port.setReadBufferSize(ReadBufferLimit);
    port.clear(QSerialPort::Input);
    justReceived = false;
    hangUpWatch.watch(static_cast<int>(port.handle()));
}

void SerialPortControl::output(const std::string& bytes)
{
    justReceived = false;
    checkLine();
    port.write(bytes.data(), static_cast<qint64>(bytes.size()));
    // write() only queues the bytes; they must be on the line before we wait
    // for the reply. flush() hands them to the system at once, and only a full
    // output buffer needs the wait.
    port.flush();
    if (port.bytesToWrite() > 0 && !port.waitForBytesWritten(WriteTimeoutMs))
        failStoppedAnswering();
}

std::int16_t SerialPortControl::inBufferCount()
{
    if (!justReceived)
        takeInReceived();
    return static_cast<std::int16_t>(std::min<qint64>(port.bytesAvailable(), std::numeric_limits<std::int16_t>::max()));
}

std::string SerialPortControl::input()
{
    if (!std::exchange(justReceived, false))
        takeInReceived();
    const QByteArray bytes = inputLen > 0 ? port.read(inputLen) : port.readAll();
    return bytes.toStdString();
}

// QSerialPort sleeps on the line for the bulk of the wait, so that a reply is
// read right after the system call that woke for it; a poll of our own would
// put one more call on the reply's path. That sleep counts whole milliseconds
// and may end 0.1 % of its length late, so it stops short of the deadline by
// more than that, and the last stretch is slept on the line and the deadline
// timer together.
void SerialPortControl::waitForInput(Duration limit)
{
    justReceived = false;
    checkLine();
    if (!port.isOpen())
        failStoppedAnswering();
    deadline.start(limit);
    const auto onQtsClock = std::chrono::floor<std::chrono::milliseconds>(limit - limit / 500) - LateEndMargin;
    if (onQtsClock.count() > 0) {
        if (receive(static_cast<int>(onQtsClock.count()))) {
            justReceived = true;
            return;
        }
        deadline.approached();
    }
    pollfd sleepers[2] = {{static_cast<int>(port.handle()), POLLIN, 0}, {deadline.descriptor(), POLLIN, 0}};
    for (;;) {
        if (::poll(sleepers, 2, -1) < 0 && errno != EINTR)
            failStoppedAnswering();
        if (sleepers[0].revents != 0) {
            receive(0);
            justReceived = true;
            return;
        }
        if (sleepers[1].revents != 0 && deadline.take())
            return;
    }
}

// A plain look at the descriptor first: QSerialPort's own zero-time wait
// raises and clears a time-out error, with its signals, when nothing came.
// The same look shows a hang-up, which the watch then takes in.
void SerialPortControl::takeInReceived()
{
    if (lost)
        failStoppedAnswering();
    if (!port.isOpen())
        return;
    pollfd ready{static_cast<int>(port.handle()), POLLIN, 0};
    if (::poll(&ready, 1, 0) != 1)
        return;
    if (ready.revents & (POLLHUP | POLLERR))
        checkLine();
    receive(0);
}

// Lets QSerialPort wait up to `ms` for the line and read what it holds; true
// when something came. After a hang-up its read fails.
bool SerialPortControl::receive(int ms)
{
    if (port.bytesAvailable() >= ReadBufferLimit || port.waitForReadyRead(ms))
        return true;
    if (port.error() != QSerialPort::TimeoutError && port.error() != QSerialPort::NoError)
        failStoppedAnswering();
    port.clearError();
    return false;
}

QString SerialPortControl::portName() const
{
    const QString device = commPort >= 1 && commPort <= devices.size() ? devices[commPort - 1] : port.portName();
    return QStringLiteral("Serial port %1 (%2)").arg(commPort).arg(device);
}

void SerialPortControl::fail(const QString& what) const
{
    throw SerialError((portName() + QStringLiteral(": ") + what).toStdString());
}

// QSerialPort's errorString() is stale after a hang-up, so the text is ours.
void SerialPortControl::failStoppedAnswering() const
{
    fail(QStringLiteral("the device stopped answering (hang-up). Check the cable and the dispenser's power, "
                        "then start the program again."));
}
