#include "SerialPortControl.h"

#include "SerialFailures.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// Received bytes kept in memory at most; a flood beyond it waits in the driver.
constexpr std::size_t ReadBufferLimit = 4096;
constexpr DWORD WriteTimeoutMs = 1000;

BYTE toWin32(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::Even: return EVENPARITY;
    case LineSettings::Parity::Odd: return ODDPARITY;
    case LineSettings::Parity::Mark: return MARKPARITY;
    case LineSettings::Parity::Space: return SPACEPARITY;
    case LineSettings::Parity::None: break;
    }
    return NOPARITY;
}

BYTE toWin32(LineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case LineSettings::StopBits::OneAndHalf: return ONE5STOPBITS;
    case LineSettings::StopBits::Two: return TWOSTOPBITS;
    case LineSettings::StopBits::One: break;
    }
    return ONESTOPBIT;
}

// "COM1" as the system's device path; a full path is taken as it is.
std::wstring devicePath(const QString& device)
{
    return (device.startsWith(QLatin1String("\\\\")) ? device : QStringLiteral("\\\\.\\") + device).toStdWString();
}

} // namespace

SerialPortControl::SerialPortControl(QStringList devices)
    : SerialControlBase(std::move(devices))
{
    reading.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    writing.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

SerialPortControl::~SerialPortControl()
{
    close();
    CloseHandle(reading.hEvent);
    CloseHandle(writing.hEvent);
}

bool SerialPortControl::portOpen() const
{
    return port != INVALID_HANDLE_VALUE || lost;
}

void SerialPortControl::setPortOpen(bool open)
{
    if (open == portOpen())
        return;
    if (open)
        this->open();
    else
        close();
}

void SerialPortControl::open()
{
    // No sharing: a port held by another program cannot be opened.
    port = CreateFileW(devicePath(chosenDevice()).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST: fail(SerialFailures::noSuchDevice);
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: fail(SerialFailures::busy);
        default: fail(SerialFailures::cannotOpen);
        }
    }
    configure();
}

// The line as asked, with no flow control of any kind: a dispenser has no
// handshake lines, and XON/XOFF would swallow reply bytes 0x11 and 0x13.
void SerialPortControl::configure()
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS timeouts{};
    // No read time-outs: a read ends when it has all the bytes it asked for.
    // The control asks only for what the driver holds, or for the one byte
    // that ends a reply wait, which the deadline timer cancels when it comes
    // first.
    timeouts.WriteTotalTimeoutConstant = WriteTimeoutMs;
    // A device with no communications state is no serial port (Wine opens a
    // COM port whose device is gone, and fails here).
    if (!SetupComm(port, ReadBufferLimit, ReadBufferLimit) || !GetCommState(port, &dcb)) {
        close();
        fail(SerialFailures::noSuchDevice);
    }
    dcb.BaudRate = static_cast<DWORD>(line.baud);
    dcb.ByteSize = static_cast<BYTE>(line.dataBits);
    dcb.Parity = toWin32(line.parity);
    dcb.StopBits = toWin32(line.stopBits);
    dcb.fBinary = TRUE;
    dcb.fParity = line.parity != LineSettings::Parity::None;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    const bool applied = SetCommState(port, &dcb) && SetCommTimeouts(port, &timeouts);
    // Bytes that came before the opening are not replies to us.
    if (!applied || !PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR)) {
        close();
        fail(SerialFailures::refusesSettings);
    }
    received.clear();
}

void SerialPortControl::close()
{
    if (port != INVALID_HANDLE_VALUE) {
        CancelIo(port);
        CloseHandle(port);
    }
    port = INVALID_HANDLE_VALUE;
    lost = false;
    received.clear();
}

// The driver of a removed adapter fails every call, this one too.
void SerialPortControl::checkLine()
{
    DWORD errors = 0;
    if (lost || port == INVALID_HANDLE_VALUE || !ClearCommError(port, &errors, nullptr))
        failStoppedAnswering();
}

void SerialPortControl::output(const std::string& bytes)
{
    checkLine();
    ResetEvent(writing.hEvent);
    DWORD written = 0;
    if (!WriteFile(port, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &writing)) {
        if (GetLastError() != ERROR_IO_PENDING)
            failStoppedAnswering();
        // The driver holds the bytes for the line; only a full output buffer
        // makes this wait.
        if (WaitForSingleObject(writing.hEvent, WriteTimeoutMs) != WAIT_OBJECT_0) {
            CancelIoEx(port, &writing);
            GetOverlappedResult(port, &writing, &written, TRUE);
            fail(SerialFailures::takesNoData);
        }
        if (!GetOverlappedResult(port, &writing, &written, FALSE))
            failStoppedAnswering();
    }
    if (written != bytes.size())
        failStoppedAnswering();
}

std::int16_t SerialPortControl::inBufferCount()
{
    takeInReceived();
    return static_cast<std::int16_t>(std::min<std::size_t>(received.size(), std::numeric_limits<std::int16_t>::max()));
}

std::string SerialPortControl::input()
{
    takeInReceived();
    const std::size_t count = inputLen > 0 ? std::min<std::size_t>(inputLen, received.size()) : received.size();
    std::string bytes = received.substr(0, count);
    received.erase(0, count);
    return bytes;
}

void SerialPortControl::waitForInput(Duration limit)
{
    checkLine();
    deadline.start(limit);
    if (received.size() >= ReadBufferLimit)
        return;
    if (startRead(1))
        return;
    const HANDLE sleepers[2] = {reading.hEvent, deadline.handle()};
    for (;;) {
        const DWORD woke = WaitForMultipleObjects(2, sleepers, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) {
            if (!finishRead(false))
                failStoppedAnswering();
            return;
        }
        if (woke != WAIT_OBJECT_0 + 1)
            failStoppedAnswering();
        if (deadline.take()) {
            // What came before the cancel is kept.
            CancelIoEx(port, &reading);
            if (!finishRead(true))
                failStoppedAnswering();
            return;
        }
    }
}

// Only what the driver already holds: the read then ends at once.
void SerialPortControl::takeInReceived()
{
    if (lost)
        failStoppedAnswering();
    if (port == INVALID_HANDLE_VALUE || received.size() >= ReadBufferLimit)
        return;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &errors, &status))
        failStoppedAnswering();
    if (status.cbInQue > 0 && !startRead(status.cbInQue) && !finishRead(true))
        failStoppedAnswering();
}

bool SerialPortControl::startRead(DWORD wanted)
{
    ResetEvent(reading.hEvent);
    const DWORD room =
        static_cast<DWORD>(std::min({sizeof readBuffer, ReadBufferLimit - received.size(), std::size_t{wanted}}));
    DWORD count = 0;
    if (ReadFile(port, readBuffer, room, &count, &reading)) {
        if (count == 0)
            failStoppedAnswering();
        received.append(readBuffer, count);
        return true;
    }
    if (GetLastError() != ERROR_IO_PENDING)
        failStoppedAnswering();
    return false;
}

// Without time-outs a read never ends empty on its own: an empty end that the
// deadline did not cause is a line gone away.
bool SerialPortControl::finishRead(bool cancelled)
{
    DWORD count = 0;
    if (!GetOverlappedResult(port, &reading, &count, TRUE))
        return cancelled && GetLastError() == ERROR_OPERATION_ABORTED;
    received.append(readBuffer, count);
    return count > 0 || cancelled;
}

void SerialPortControl::failStoppedAnswering()
{
    // The port still counts as open, and fails every exchange, until closed.
    if (port != INVALID_HANDLE_VALUE) {
        close();
        lost = true;
    }
    fail(SerialFailures::stoppedAnswering);
}
