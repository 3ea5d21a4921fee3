#include "ProbeComm.h"

#include "Protocol.h"
#include "StopSignals.h"

namespace {

// Shorter gaps between a reply and the next step are the program's own work, not a pause.
constexpr auto ShortestPause = std::chrono::milliseconds(20);

} // namespace

ProbeComm::ProbeComm(MSComm& control, Report& report)
    : ForwardingComm(control),
      report(report)
{}

void ProbeComm::tellPause()
{
    if (lastReplyAt == std::chrono::steady_clock::time_point{})
        return;
    const auto gap = std::chrono::steady_clock::now() - lastReplyAt;
    lastReplyAt = {};
    if (gap >= ShortestPause)
        report.paused(std::chrono::duration<double>(gap).count());
}

void ProbeComm::setPortOpen(bool open)
{
    if (!open)
        tellPause();
    inner.setPortOpen(open);
    if (!open)
        report.closed();
}

void ProbeComm::output(const std::string& bytes)
{
    StopSignals::throwIfStopped();
    tellPause();
    awaiting = bytes.size() == 2 ? bytes[1] : '\0';
    inner.output(bytes);
    report.sent(awaiting, bytes);
    if (awaiting == Protocol::CardOut)
        cardOutSent = true;
}

std::string ProbeComm::input()
{
    std::string bytes = inner.input();
    if (awaiting == 0) {
        if (!bytes.empty())
            report.flushed(bytes);
        return bytes;
    }
    lastCommand = awaiting;
    lastReply = bytes;
    lastCode = Protocol::decodeReply(bytes);
    awaiting = 0;
    lastReplyAt = std::chrono::steady_clock::now();
    report.received(lastCommand, bytes, lastCode);
    return bytes;
}
