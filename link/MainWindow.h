#pragma once

#include "Types.h"

class MSComm;

// What the link takes from the one main window.
class MainWindow {
public:
    virtual ~MainWindow() = default;

    virtual MSComm* MSComm1() = 0;
    virtual void AffRep(CodeReponse re) = 0;
};
