#pragma once

#include <QStringList>

class Automate;
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

// Creates the main window, runs its load step, shows it and serves its
// events until it is closed. Returns the exit status.
int runWindow(Automate& automate, Platform& platform);

// The whole program: loads the automaton library beside the program (or in
// the installation), then runs the window on the serial ports `devices`.
int runCvdOperator(QApplication& app, const QStringList& devices);
