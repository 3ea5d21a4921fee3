#pragma once

#include "DeadlineTimer.h"
#include "SerialControlBase.h"

#include <QString>
#include <QStringList>

#include <windows.h>

#include <string>

// The serial control over the Win32 communications API. Port number N opens
// entry N of the device list the program was built with (COM1, COM2, ...).
//
// The port is opened for overlapped I/O, without read time-outs. The count
// and the read take in what the driver holds without waiting; the reply
// wait is a read of one byte raced against the deadline timer, and
// cancelled when the deadline comes first.
//
// A removed adapter makes the driver fail every call: the control then
// keeps the port counted as open, and every exchange on it fails with the
// hang-up error, until it is closed.
class SerialPortControl final : public SerialControlBase {
public:
    explicit SerialPortControl(QStringList devices);
    ~SerialPortControl() override;
    SerialPortControl(const SerialPortControl&) = delete;
    SerialPortControl& operator=(const SerialPortControl&) = delete;

    bool portOpen() const override;
    void setPortOpen(bool open) override;

    void output(const std::string& bytes) override;
    std::int16_t inBufferCount() override;
    std::string input() override;
    void waitForInput(Duration limit) override;

private:
    void open();
    void close();
    void configure();
    void checkLine();
    void takeInReceived();
    // Starts a read of `wanted` bytes: what the driver holds, or the next
    // byte to come; true when it ended at once.
    bool startRead(DWORD wanted);
    // The end of the read started last; false when the line is gone.
    bool finishRead(bool wait);
    [[noreturn]] void failStoppedAnswering();

    HANDLE port = INVALID_HANDLE_VALUE;
    OVERLAPPED reading{};
    OVERLAPPED writing{};
    char readBuffer[4096]{};
    bool lost = false;
    // Received bytes not yet read by the link.
    std::string received;
    DeadlineTimer deadline;
};
