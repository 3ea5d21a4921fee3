#pragma once

#include "MSComm.h"
#include "VirtualClock.h"
#include "WireTrace.h"

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

// A serial control on a virtual clock. It records every operation on the wire
// with the time it happened: an opening (an event with its port), a write (to
// the dispenser), a read (from it, maybe empty), a closing (an event, port 0).
class FakeMSComm final : public MSComm {
public:
    // An operation as the tests name it: "open 1", "write 01 37", "read 01 23",
    // "read" (nothing there), "close".
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

    std::vector<wire::Record> wire;
    std::vector<std::string> violations;
    std::function<void(const std::string&)> onWrite;
    std::int16_t commPort = -1;
    std::string settings;
    // The settings and openings, in the order they were made: "port 1", "open".
    std::vector<std::string> setup;

    // Only the operations whose text starts with `prefix`.
    std::vector<Op> ops(const std::string& prefix) const;
    std::vector<std::string> opNames() const;
    // The wire trace, with virtual-clock times; a read of nothing at the
    // opening is left out.
    std::string wireTrace() const;

private:
    void deliverDue();
    void record(wire::Direction direction, const std::string& bytes, const std::string& meaning, std::int16_t port = 0);

    VirtualClock& clock;
    Responder responder;
    bool open = false;
    bool awaitingReply = false;
    std::string buffer;
    std::multimap<Duration, std::string> arrivals;
};
