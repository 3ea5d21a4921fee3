#pragma once

#include "Types.h"

#include <cstdint>

class Clock;
class MainWindow;
class MSComm;
class WindowEvents;

// The dispenser link: the one serial port, the request exchange, the pause
// that keeps the window alive, and the dispense sequence.
class LiaisonCVD {
public:
    LiaisonCVD(MainWindow& fenetre, const Clock& clock, WindowEvents& events);

    // The chosen port; 0 until a dispense button chooses 1 or 2.
    std::int16_t NumPort = 0;
    // The main window's serial control, fetched again by every OuvrePort.
    MSComm* Com = nullptr;

    void OuvrePort();
    void FermePort();

    CodeReponse CVDStatut();
    CodeReponse CVDReset();
    CodeReponse CVDCardOut();

    void Tempo(double seconds);

    std::int16_t DistribueCarte();

private:
    CodeReponse Echange(char command);
    void AttendReponse();

    MainWindow& fenetre;
    const Clock& clock;
    WindowEvents& events;
};
