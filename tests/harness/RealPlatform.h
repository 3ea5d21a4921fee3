#pragma once

#include "Clock.h"
#include "FakeAutomate.h"
#include "FakeMainWindow.h"
#include "FrmPrincipal.h"
#include "LiaisonCVD.h"
#include "Operator.h"
#include "QtWindowEvents.h"
#include "RecordedMessages.h"
#include "SerialPortControl.h"

// The link on a real serial control, the real clock and Qt's event
// processing, behind a fake main window.
struct RealLink {
    explicit RealLink(const std::string& device)
        : control(QStringList{QString::fromStdString(device)}),
          window(control),
          liaison(window, clock, events)
    {
        liaison.NumPort = 1;
    }
    SerialPortControl control;
    FakeMainWindow window;
    SteadyClock clock;
    QtWindowEvents events;
    LiaisonCVD liaison;
};

// The whole window on a real serial control, opened by the program's own
// start-up, reporting errors to a record.
struct RealWindow {
    explicit RealWindow(const std::string& device, std::vector<std::int32_t> answers = {-2})
        : control(QStringList{QString::fromStdString(device)}),
          automate(std::move(answers)),
          window(openWindow(automate, platform))
    {}
    SerialPortControl control;
    SteadyClock clock;
    QtWindowEvents events;
    RecordedMessages messages;
    FakeAutomate automate;
    Platform platform{control, clock, events, messages};
    std::unique_ptr<FrmPrincipal> window;
};
