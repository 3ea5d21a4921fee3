#pragma once

#include "MSComm.h"
#include "VirtualClock.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// Part of a reply: bytes that arrive `after` the request was written.
struct Chunk {
    Duration after;
    std::string bytes;
};
using Reply = std::vector<Chunk>;
// What the far end answers to a request (the two bytes written).
using Responder = std::function<Reply(const std::string& request)>;

Reply noReply();
Reply replyCode(CodeReponse code, Duration after = std::chrono::milliseconds(5));

// A serial control on a virtual clock. It records every operation with the
// time it happened: "open 1", "write 01 37", "read 01 23", "close".
class FakeMSComm final : public MSComm {
public:
    struct Op {
        Duration at;
        std::string what;
    };

    FakeMSComm(VirtualClock& clock, Responder responder);

    void setCommPort(std::int16_t port) override
    {
        commPort = port;
        setup.push_back("port " + std::to_string(port));
    }
    void setSettings(const std::string& s) override
    {
        settings = s;
        setup.push_back("settings " + s);
    }
    void setInputLen(std::int16_t length) override { setup.push_back("input length " + std::to_string(length)); }
    void setInputMode(std::int16_t mode) override { setup.push_back("input mode " + std::to_string(mode)); }
    bool portOpen() const override { return open; }
    void setPortOpen(bool open) override;
    void output(const std::string& bytes) override;
    std::int16_t inBufferCount() override;
    std::string input() override;
    void waitForInput(Duration limit) override;

    // Bytes that arrive at an absolute time whether or not a request asked.
    void arriveAt(Duration at, const std::string& bytes);

    std::vector<Op> trace;
    std::vector<std::string> violations;
    std::function<void(const std::string&)> onWrite;
    std::int16_t commPort = -1;
    std::string settings;
    // The settings and openings, in the order they were made: "port 1", "open".
    std::vector<std::string> setup;

    // Only the operations whose text starts with `prefix`.
    std::vector<Op> ops(const std::string& prefix) const;
    std::vector<std::string> opNames() const;
    // The trace in cvd-sim's line format, with virtual-clock times: '>' a
    // request written, '<' what a read took, ' ' the port opened or closed.
    std::string wireTrace() const;

private:
    void deliverDue();
    void record(const std::string& what);

    VirtualClock& clock;
    Responder responder;
    bool open = false;
    std::string buffer;
    std::multimap<Duration, std::string> arrivals;
};
