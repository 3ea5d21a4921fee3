#pragma once

#include "LiaisonCVD.h"
#include "MainWindow.h"

#include <QWidget>

#include <cstdint>
#include <functional>

class Automate;
class Clock;
class MSComm;
class OperatorMessages;
class QLineEdit;
class QPushButton;
class WindowEvents;

// The operator's one window: three direct commands, two dispense buttons,
// the result field Text1 and the attempt field Text2.
class FrmPrincipal final : public QWidget, public MainWindow {
public:
    FrmPrincipal(MSComm& msComm1, Automate& automate, const Clock& clock, WindowEvents& events,
                 OperatorMessages& messages, QWidget* parent = nullptr);

    // The load step, run once before the window is first shown.
    void Form_Load();

    MSComm* MSComm1() override;
    void AffRep(CodeReponse re) override;

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();

    LiaisonCVD& liaison() { return liaisonCVD; }

    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    QPushButton* Command4;
    QPushButton* Command5;
    QLineEdit* Text1;
    QLineEdit* Text2;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void placeControls();
    void connectHandler(QPushButton* button, void (FrmPrincipal::*handler)());
    void directCommand(CodeReponse (LiaisonCVD::*request)());
    void dispense(std::int16_t port);
    void setButtonsEnabled(bool enabled);

    MSComm& msComm1;
    Automate& automate;
    WindowEvents& events;
    OperatorMessages& messages;
    LiaisonCVD liaisonCVD;

    bool dispensing = false;
    bool closeHeld = false;
};
