#pragma once

#include "DeadlineTimer.h"
#include "HangUpWatch.h"
#include "SerialControlBase.h"

#include <QSerialPort>
#include <QStringList>

// The serial control over QSerialPort. Port number N opens entry N of the
// device list the program was built with.
//
// QSerialPort moves received bytes into its buffer only inside its wait calls
// (there is no event loop while a request waits), so the count and the read
// first take in what the system has received, without blocking.
//
// When the far end hangs up, the control closes the descriptor at once (a
// dead descriptor would keep QSerialPort's read notifier firing while window
// events run) and reports the hang-up at the next exchange.
class SerialPortControl final : public SerialControlBase {
public:
    explicit SerialPortControl(QStringList devices);
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
    void lineLost();
    void checkLine();
    void takeInArrived();
    bool waitAndTakeIn(int ms);
    [[noreturn]] void failStoppedAnswering() const;

    QSerialPort port;
    // The far end hung up while the port was open: it still counts as open,
    // and every exchange on it fails, until it is closed.
    bool lost = false;
    // The last wait took in what the line held, and nothing was sent since:
    // the count and the read that follow need no second look at the line.
    bool takenInByWait = false;
    HangUpWatch hangUpWatch{[this] { lineLost(); }};
    DeadlineTimer deadline;
};
