#include "SerialPortControl.h"

#include "SerialFailures.h"
#include "WaitTiming.h"

#include <QString>

#include <poll.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// Received bytes kept in memory at most; a flood beyond it waits in the system.
constexpr qint64 ReadBufferLimit = 4096;
constexpr std::chrono::milliseconds WriteTimeout{1000};

QSerialPort::Parity toQt(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::Even: return QSerialPort::EvenParity;
    case LineSettings::Parity::Odd: return QSerialPort::OddParity;
    case LineSettings::Parity::Mark: return QSerialPort::MarkParity;
    case LineSettings::Parity::Space: return QSerialPort::SpaceParity;
    case LineSettings::Parity::None: break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(LineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case LineSettings::StopBits::OneAndHalf: return QSerialPort::OneAndHalfStop;
    case LineSettings::StopBits::Two: return QSerialPort::TwoStop;
    case LineSettings::StopBits::One: break;
    }
    return QSerialPort::OneStop;
}

} // namespace

SerialPortControl::SerialPortControl(QStringList devices)
    : SerialControlBase(std::move(devices))
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

    // A pseudo-terminal cannot change parity once open, so everything is set before.
    port.setPortName(chosenDevice());
    port.setBaudRate(line.baud);
    port.setParity(toQt(line.parity));
    port.setDataBits(static_cast<QSerialPort::DataBits>(line.dataBits));
    port.setStopBits(toQt(line.stopBits));
    port.setFlowControl(QSerialPort::NoFlowControl);

    if (!port.open(QIODevice::ReadWrite)) {
        switch (port.error()) {
        case QSerialPort::DeviceNotFoundError: fail(SerialFailures::noSuchDevice);
        case QSerialPort::PermissionError: fail(SerialFailures::busy);
        case QSerialPort::UnsupportedOperationError: fail(SerialFailures::refusesSettings);
        default: fail(SerialFailures::cannotOpen);
        }
    }
    port.setReadBufferSize(ReadBufferLimit);
    port.clear(QSerialPort::Input);
    takenInByWait = false;
    // Unwatched, a pulled cable would go unnoticed and spin a core.
    if (!hangUpWatch.watch(static_cast<int>(port.handle()))) {
        const int why = errno;
        port.close();
        fail(SerialFailures::cannotWatch(QString::fromLocal8Bit(std::strerror(why))));
    }
}

void SerialPortControl::output(const std::string& bytes)
{
    takenInByWait = false;
    checkLine();
    port.write(bytes.data(), static_cast<qint64>(bytes.size()));
    // write() only queues the bytes; they must be with the driver before we
    // wait for the reply. flush() hands them to it at once, and only a full
    // output buffer needs the wait, whose every round ends as soon as some
    // of them went.
    port.flush();
    const auto giveUp = std::chrono::steady_clock::now() + WriteTimeout;
    while (port.bytesToWrite() > 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(giveUp - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !port.waitForBytesWritten(static_cast<int>(left.count()))) {
            checkLine(); // a hang-up fails the write at once
            fail(SerialFailures::takesNoData);
        }
    }
}

std::int16_t SerialPortControl::inBufferCount()
{
    if (!takenInByWait)
        takeInArrived();
    return static_cast<std::int16_t>(std::min<qint64>(port.bytesAvailable(), std::numeric_limits<std::int16_t>::max()));
}

std::string SerialPortControl::input()
{
    if (!std::exchange(takenInByWait, false))
        takeInArrived();
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
    takenInByWait = false;
    checkLine();
    if (!port.isOpen())
        failStoppedAnswering();
    deadline.start(limit);
    const auto onQtsClock = WaitTiming::qtSleep(limit);
    if (onQtsClock.count() > 0) {
        if (waitAndTakeIn(static_cast<int>(onQtsClock.count()))) {
            takenInByWait = true;
            return;
        }
        deadline.approached();
    }
    pollfd sleepers[2] = {{static_cast<int>(port.handle()), POLLIN, 0}, {deadline.descriptor(), POLLIN, 0}};
    for (;;) {
        if (::poll(sleepers, 2, -1) < 0 && errno != EINTR)
            failStoppedAnswering();
        if (sleepers[0].revents != 0) {
            waitAndTakeIn(0);
            takenInByWait = true;
            return;
        }
        if (sleepers[1].revents != 0 && deadline.take())
            return;
    }
}

// A plain look at the descriptor first: QSerialPort's own zero-time wait
// raises and clears a time-out error, with its signals, when nothing came.
// The same look shows a hang-up, which the watch then takes in.
void SerialPortControl::takeInArrived()
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
    waitAndTakeIn(0);
}

// Lets QSerialPort wait up to `ms` for the line and read what it holds; true
// when something came. After a hang-up its read fails.
bool SerialPortControl::waitAndTakeIn(int ms)
{
    if (port.bytesAvailable() >= ReadBufferLimit || port.waitForReadyRead(ms))
        return true;
    if (port.error() != QSerialPort::TimeoutError && port.error() != QSerialPort::NoError)
        failStoppedAnswering();
    port.clearError();
    return false;
}

// QSerialPort's errorString() is stale after a hang-up, so the text is ours.
void SerialPortControl::failStoppedAnswering() const
{
    fail(SerialFailures::stoppedAnswering);
}
