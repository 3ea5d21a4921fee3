#pragma once

#include "WindowEvents.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <stdexcept>
#include <string>

// The pause's window events as the program had them before, woken by Qt's
// millisecond timer: the baseline for the CPU a pause costs.
class MillisecondTimerEvents final : public WindowEvents {
public:
    void processPending() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    void waitForEvents(Duration limit) override
    {
        QTimer wake;
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        wake.start(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(limit).count()));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
};

// The reply wait as the program had it before, in QSerialPort's own wait on a
// line that stays silent: the baseline for the CPU a reply wait costs.
class MillisecondReplyWait {
public:
    explicit MillisecondReplyWait(const std::string& device)
    {
        port.setPortName(QString::fromStdString(device));
        port.setBaudRate(QSerialPort::Baud19200);
        if (!port.open(QIODevice::ReadWrite))
            throw std::runtime_error("cannot open " + device + " for the baseline reply wait");
    }
    void operator()()
    {
        port.waitForReadyRead(1000);
        port.clearError();
    }

private:
    QSerialPort port;
};
