#pragma once

#include "FakeAutomate.h"
#include "FakeMSComm.h"
#include "FakeWindowEvents.h"
#include "FrmPrincipal.h"
#include "LinkFixture.h"
#include "RecordedMessages.h"
#include "SerialError.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

// The real window on a fake control, a fake automaton and a virtual clock.
class WindowTest : public ::testing::Test {
protected:
    void build(Responder responder, std::vector<std::int32_t> answers = {-2})
    {
        comm = std::make_unique<FakeMSComm>(clock, std::move(responder));
        automate = std::make_unique<FakeAutomate>(std::move(answers));
        window = std::make_unique<FrmPrincipal>(*comm, *automate, clock, events, messages);
        events.onProcess = [] { QCoreApplication::processEvents(); };
        window->Form_Load();
        window->show();
    }

    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    VirtualClock clock;
    FakeWindowEvents events{clock};
    RecordedMessages messages;
    std::unique_ptr<FakeMSComm> comm;
    std::unique_ptr<FakeAutomate> automate;
    std::unique_ptr<FrmPrincipal> window;
};
