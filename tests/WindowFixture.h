#pragma once

#include "FakeAutomate.h"
#include "FakeMSComm.h"
#include "FakeWindowEvents.h"
#include "FrmPrincipal.h"
#include "LinkFixture.h"
#include "Operator.h"
#include "RecordedMessages.h"
#include "SerialError.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

// The texts a field showed in the paints it got outside the window's event
// processing: the repaints that a handler asked for at once, each text once
// in a row. Paints already pending are done first.
class ImmediatePaints : public QObject {
public:
    ImmediatePaints(QLineEdit* field, const bool& processing)
        : field(field),
          processing(processing)
    {
        QCoreApplication::processEvents();
        field->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !processing && (texts.empty() || texts.back() != field->text()))
            texts.push_back(field->text());
        return false;
    }
    std::vector<QString> texts;

private:
    QLineEdit* field;
    const bool& processing;
};

// How many times a widget was painted.
class PaintCount : public QObject {
public:
    explicit PaintCount(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
    int count = 0;
};

// The real window on a fake control, a fake automaton and a virtual clock.
class WindowTest : public ::testing::Test {
protected:
    void build(Responder responder, std::vector<std::int32_t> answers = {-2})
    {
        window.reset(); // it refers to the fakes replaced below
        comm = std::make_unique<FakeMSComm>(clock, std::move(responder));
        automate = std::make_unique<FakeAutomate>(std::move(answers));
        events.onProcess = [this] {
            processing = true;
            QCoreApplication::processEvents();
            processing = false;
        };
        platform = std::make_unique<Platform>(Platform{*comm, clock, events, messages});
        window = openWindow(*automate, *platform);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    VirtualClock clock;
    FakeWindowEvents events{clock};
    bool processing = false; // inside the window's event processing
    RecordedMessages messages;
    std::unique_ptr<FakeMSComm> comm;
    std::unique_ptr<FakeAutomate> automate;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<FrmPrincipal> window;
};
