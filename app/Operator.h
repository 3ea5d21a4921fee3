#pragma once

#include <QStringList>

#include <memory>

class Automate;
class FrmPrincipal;
class Clock;
class MSComm;
class OperatorMessages;
class QApplication;
class WindowEvents;

// What the window runs on.
struct Platform {
    MSComm& msComm1;
    const Clock& clock;
    WindowEvents& events;
    OperatorMessages& messages;
};

// Creates the main window, runs its load step and shows it: the program's
// start-up, which the tests and the benchmarks use as they find it.
std::unique_ptr<FrmPrincipal> openWindow(Automate& automate, Platform& platform);

// Opens the main window and serves its events until it is closed. Returns
// the exit status.
int runWindow(Automate& automate, Platform& platform);

// The whole program: loads the automaton library beside the program (or in
// the installation), then runs the window on the serial ports `devices`.
int runCvdOperator(QApplication& app, const QStringList& devices);
