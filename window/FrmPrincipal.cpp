#include "FrmPrincipal.h"

#include "Attempts.h"
#include "Automate.h"
#include "ControlsTable.h"
#include "MSComm.h"
#include "OperatorMessages.h"
#include "ReplyText.h"
#include "Twips.h"
#include "WindowEvents.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>

#include <exception>

namespace {

// The client area: a margin right of "distribuer Carte 2" and below the dispense buttons.
constexpr TwipsRect ClientArea{0, 0, 6975, 5295};

const QString NoPortChosen =
    QStringLiteral("No dispenser is chosen yet, so nothing was sent.\n\n"
                   "Press \"distribuer Carte 1\" or \"distribuer Carte 2\" first: it chooses the dispenser "
                   "that the CVD buttons then talk to.");

// A plain top-level widget is a "filler" to screen readers, which then may
// not announce it; the window is a frame named by its title, "Form1".
QAccessibleInterface* accessibleFrame(const QString&, QObject* object)
{
    auto* window = dynamic_cast<FrmPrincipal*>(object);
    return window ? new QAccessibleWidget(window, QAccessible::Window) : nullptr;
}

} // namespace

FrmPrincipal::FrmPrincipal(MSComm& msComm1, Automate& automate, const Clock& clock, WindowEvents& events,
                           OperatorMessages& messages, QWidget* parent)
    : QWidget(parent),
      Command1(new QPushButton(this)),
      Command2(new QPushButton(this)),
      Command3(new QPushButton(this)),
      Command4(new QPushButton(this)),
      Command5(new QPushButton(this)),
      Text1(new QLineEdit(this)),
      Text2(new QLineEdit(this)),
      msComm1(msComm1),
      automate(automate),
      events(events),
      messages(messages),
      liaisonCVD(*this, clock, events)
{
    QAccessible::installFactory(accessibleFrame);
    setWindowTitle(QStringLiteral("Form1"));
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2->setObjectName(QStringLiteral("Command2"));
    Command3->setObjectName(QStringLiteral("Command3"));
    Command4->setObjectName(QStringLiteral("Command4"));
    Command5->setObjectName(QStringLiteral("Command5"));
    Text1->setObjectName(QStringLiteral("Text1"));
    Text2->setObjectName(QStringLiteral("Text2"));
    Text1->setAccessibleName(QStringLiteral("Result"));
    Text2->setAccessibleName(QStringLiteral("Attempt"));

    placeControls();

    connectHandler(Command1, &FrmPrincipal::Command1_Click);
    connectHandler(Command2, &FrmPrincipal::Command2_Click);
    connectHandler(Command3, &FrmPrincipal::Command3_Click);
    connectHandler(Command4, &FrmPrincipal::Command4_Click);
    connectHandler(Command5, &FrmPrincipal::Command5_Click);
}

// Places, captions and tab order from the controls' table.
void FrmPrincipal::placeControls()
{
    QWidget* previous = nullptr;
    for (const ControlPlace& control : Controls) {
        auto* widget = findChild<QWidget*>(QLatin1String(control.name));
        widget->setGeometry(toPixels(control.twips, *this));
        if (auto* button = qobject_cast<QPushButton*>(widget))
            button->setText(QString::fromUtf8(control.caption));
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
    setFixedSize(toPixels(ClientArea, *this).size());
}

// An error that leaves a handler ends it and goes to the operator report,
// which ends the program.
void FrmPrincipal::connectHandler(QPushButton* button, void (FrmPrincipal::*handler)())
{
    connect(button, &QPushButton::clicked, this, [this, handler] {
        try {
            (this->*handler)();
        } catch (const std::exception& error) {
            messages.fatal(QString::fromStdString(error.what()));
        }
    });
}

void FrmPrincipal::Form_Load()
{
    automate.init_grafcet();
}

MSComm* FrmPrincipal::MSComm1()
{
    return &msComm1;
}

void FrmPrincipal::AffRep(CodeReponse re)
{
    Text1->setText(replyText(re));
    repaint();
}

void FrmPrincipal::Command1_Click()
{
    directCommand(&LiaisonCVD::CVDStatut);
}
void FrmPrincipal::Command2_Click()
{
    directCommand(&LiaisonCVD::CVDReset);
}
void FrmPrincipal::Command3_Click()
{
    directCommand(&LiaisonCVD::CVDCardOut);
}
void FrmPrincipal::Command4_Click()
{
    dispense(1);
}
void FrmPrincipal::Command5_Click()
{
    dispense(2);
}

void FrmPrincipal::directCommand(CodeReponse (LiaisonCVD::*request)())
{
    // Port 0 names no device: until a dispense button has chosen one there is
    // nobody to talk to.
    if (liaisonCVD.NumPort == 0 && !msComm1.portOpen()) {
        messages.inform(NoPortChosen);
        return;
    }
    Text1->setText(QString());
    Text1->repaint(); // the request below lets no repaint happen for up to a second
    AffRep((liaisonCVD.*request)());
}

// Runs up to four dispense attempts on `port`, consulting the automaton after
// each. The buttons stay disabled meanwhile: a nested click would change the
// port and close it under the running attempt.
void FrmPrincipal::dispense(std::int16_t port)
{
    liaisonCVD.NumPort = port;
    dispensing = true;
    setButtonsEnabled(false);
    Text1->setText(QString());
    Text1->repaint();

    const std::int32_t result = runAttempts(liaisonCVD, automate, events, [this](int attempt) {
        Text2->setText(QString());
        Text2->repaint();
        Text2->setText(QString::number(attempt)); // shown at the next event processing
    });

    Text1->setText(QString::number(result));
    setButtonsEnabled(true);
    // Disabled, the button lost the keyboard focus; Space dispenses again.
    (port == 1 ? Command4 : Command5)->setFocus(Qt::OtherFocusReason);
    dispensing = false;
    if (closeHeld)
        close();
}

void FrmPrincipal::setButtonsEnabled(bool enabled)
{
    for (QPushButton* button : {Command1, Command2, Command3, Command4, Command5})
        button->setEnabled(enabled);
}

// A close during a dispense waits for the running attempt to finish and
// close the port.
void FrmPrincipal::closeEvent(QCloseEvent* event)
{
    if (dispensing) {
        closeHeld = true;
        event->ignore();
        return;
    }
    event->accept();
}
