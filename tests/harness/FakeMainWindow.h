#pragma once

#include "MainWindow.h"

#include <vector>

// A main window for the link alone: it holds the control and records AffRep.
class FakeMainWindow final : public MainWindow {
public:
    explicit FakeMainWindow(MSComm& control)
        : control(&control)
    {}

    MSComm* MSComm1() override { return control; }
    void AffRep(CodeReponse re) override { shown.push_back(re); }

    MSComm* control;
    std::vector<CodeReponse> shown;
};
