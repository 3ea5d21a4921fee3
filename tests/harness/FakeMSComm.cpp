#include "FakeMSComm.h"

#include "Protocol.h"

#include <cstdio>

Reply noReply()
{
    return {};
}

Reply replyCode(CodeReponse code, Duration after)
{
    return {{after, std::string{'\x01', static_cast<char>(code)}}};
}

FakeMSComm::FakeMSComm(VirtualClock& clock, Responder responder)
    : clock(clock),
      responder(std::move(responder))
{}

void FakeMSComm::setPortOpen(bool wantOpen)
{
    if (wantOpen == open)
        return;
    open = wantOpen;
    if (open) {
        setup.emplace_back("open");
        record("open " + std::to_string(commPort));
    } else {
        record("close");
        buffer.clear();
        arrivals.clear();
    }
}

void FakeMSComm::output(const std::string& bytes)
{
    if (!open)
        violations.push_back("write on a closed port");
    if (onWrite)
        onWrite(bytes);
    record("write " + Protocol::hex(bytes));
    for (const Chunk& chunk : responder(bytes))
        arrivals.emplace(clock.now() + chunk.after, chunk.bytes);
}

std::int16_t FakeMSComm::inBufferCount()
{
    deliverDue();
    return static_cast<std::int16_t>(buffer.size());
}

std::string FakeMSComm::input()
{
    deliverDue();
    std::string taken;
    taken.swap(buffer);
    record(taken.empty() ? "read" : "read " + Protocol::hex(taken));
    return taken;
}

void FakeMSComm::waitForInput(Duration limit)
{
    if (limit <= Duration{0})
        violations.push_back("wait of no time");
    const Duration until = clock.now() + limit;
    if (!arrivals.empty() && arrivals.begin()->first <= until)
        clock.advanceTo(arrivals.begin()->first);
    else
        clock.advanceTo(until);
    deliverDue();
}

void FakeMSComm::arriveAt(Duration at, const std::string& bytes)
{
    arrivals.emplace(at, bytes);
}

void FakeMSComm::deliverDue()
{
    while (!arrivals.empty() && arrivals.begin()->first <= clock.now()) {
        if (open)
            buffer += arrivals.begin()->second;
        arrivals.erase(arrivals.begin());
    }
}

void FakeMSComm::record(const std::string& what)
{
    trace.push_back({clock.now(), what});
}

std::vector<FakeMSComm::Op> FakeMSComm::ops(const std::string& prefix) const
{
    std::vector<Op> found;
    for (const Op& op : trace)
        if (op.what.compare(0, prefix.size(), prefix) == 0)
            found.push_back(op);
    return found;
}

std::vector<std::string> FakeMSComm::opNames() const
{
    std::vector<std::string> names;
    for (const Op& op : trace)
        names.push_back(op.what);
    return names;
}

namespace {

std::string unhex(const std::string& text)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return bytes;
}

} // namespace

std::string FakeMSComm::wireTrace() const
{
    std::string out;
    bool awaitingReply = false;
    for (const Op& op : trace) {
        const std::size_t space = op.what.find(' ');
        const std::string kind = op.what.substr(0, space);
        const std::string shown = space == std::string::npos ? "" : op.what.substr(space + 1);
        const std::string bytes = unhex(shown);
        const char* direction = " ";
        std::string meaning;
        if (kind == "write") {
            direction = ">";
            meaning = Protocol::requestName(bytes.size() == 2 ? bytes[1] : '\0');
            awaitingReply = true;
        } else if (kind == "read" && awaitingReply) {
            direction = "<";
            const char* name = Protocol::replyName(Protocol::decodeReply(bytes));
            meaning = name ? name : bytes.empty() ? "no reply" : "no reply code";
            awaitingReply = false;
        } else if (kind == "read") {
            if (bytes.empty())
                continue;
            direction = "<";
            meaning = "stale, flushed at the opening";
        } else {
            meaning = kind == "open" ? "port " + shown + " opened" : "port closed";
            awaitingReply = false;
        }
        char line[160];
        std::snprintf(line, sizeof line, "%10.1f %s %-14s %s\n",
                      std::chrono::duration<double, std::milli>(op.at).count(), direction,
                      kind == "open" ? "" : shown.c_str(), meaning.c_str());
        out += line;
    }
    return out;
}
