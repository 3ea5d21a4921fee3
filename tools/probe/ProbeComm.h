#pragma once

#include "ForwardingComm.h"
#include "Report.h"

#include <chrono>

// The serial control as cvd-probe drives it: every operation goes to the
// real control, and each step (request, reply, pause, closing) is told to
// the report as it happens. No request goes out once a stop signal came.
class ProbeComm final : public ForwardingComm {
public:
    ProbeComm(MSComm& control, Report& report);

    void setPortOpen(bool open) override;

    void output(const std::string& bytes) override;
    std::string input() override;

    // The last exchange: its request, the bytes read, the decoded code.
    char lastCommand = 0;
    std::string lastReply;
    CodeReponse lastCode = 0;
    bool cardOutSent = false;

private:
    void tellPause();

    Report& report;
    char awaiting = 0;
    std::chrono::steady_clock::time_point lastReplyAt{};
};
