#pragma once

#include "Types.h"
#include "WireTrace.h"

#include <chrono>
#include <cstdio>
#include <string>

// What cvd-probe prints, in one of three styles:
//   Plain  steps in words (a dispense) and the decoded reply;
//   Trace  every frame with milliseconds since start, direction, hex bytes
//          and meaning, as cvd-sim's trace writes them;
//   Json   one JSON object per exchange, pause and result.
class Report {
public:
    enum class Style { Plain, Trace, Json };

    Report(Style style, bool steps);

    void sent(char command, const std::string& bytes);
    void received(char command, const std::string& bytes, CodeReponse code);
    void flushed(const std::string& bytes);
    void paused(double seconds);
    void closed();
    // The end of a single request: its decoded reply.
    void reply(CodeReponse code, const std::string& bytes);
    // The end of a dispense attempt.
    void dispensed(bool cardOutSent, CodeReponse cardOutCode, const std::string& cardOutReply);

private:
    double elapsedMs() const;
    void traceLine(wire::Direction direction, const std::string& bytes, const std::string& meaning);
    void step(const std::string& text);

    const Style style;
    // A dispense tells its steps; a single request only its reply.
    const bool steps;
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double sentMs = 0;
    std::string sentBytes;
};

// "Ready", ..., or "no reply within 1 s" and "no reply code in 01 41" for 0.
std::string replyMeaning(CodeReponse code, const std::string& bytes);
