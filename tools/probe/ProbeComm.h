#pragma once

#include "MSComm.h"
#include "Report.h"

#include <chrono>

// The serial control as cvd-probe drives it: every operation goes to the
// real control, and each step (request, reply, pause, closing) is told to
// the report as it happens. No request goes out once a stop signal came.
class ProbeComm final : public MSComm {
public:
    ProbeComm(MSComm& control, Report& report);

    void setCommPort(std::int16_t port) override { control.setCommPort(port); }
    void setSettings(const std::string& settings) override { control.setSettings(settings); }
    void setInputLen(std::int16_t length) override { control.setInputLen(length); }
    void setInputMode(std::int16_t mode) override { control.setInputMode(mode); }
    bool portOpen() const override { return control.portOpen(); }
    void setPortOpen(bool open) override;

    void output(const std::string& bytes) override;
    std::int16_t inBufferCount() override { return control.inBufferCount(); }
    std::string input() override;
    void waitForInput(Duration limit) override { control.waitForInput(limit); }

    // The last exchange: its request, the bytes read, the decoded code.
    char lastCommand = 0;
    std::string lastReply;
    CodeReponse lastCode = 0;
    bool cardOutSent = false;

private:
    void tellPause();

    MSComm& control;
    Report& report;
    char awaiting = 0;
    std::chrono::steady_clock::time_point lastReplyAt{};
};
