#include "FakeMSComm.h"

#include "Protocol.h"

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
        record(wire::Direction::Event, "", "port " + std::to_string(commPort) + " opened", commPort);
    } else {
        record(wire::Direction::Event, "", "port closed");
        awaitingReply = false;
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
    record(wire::Direction::ToDispenser, bytes, Protocol::requestName(bytes.size() == 2 ? bytes[1] : '\0'));
    awaitingReply = true;
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
    std::string meaning;
    if (awaitingReply) {
        const char* name = Protocol::replyName(Protocol::decodeReply(taken));
        meaning = name ? name : taken.empty() ? "no reply" : "no reply code";
    } else if (!taken.empty()) {
        meaning = "stale, flushed at the opening";
    }
    awaitingReply = false;
    record(wire::Direction::FromDispenser, taken, meaning);
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

void FakeMSComm::record(wire::Direction direction, const std::string& bytes, const std::string& meaning,
                        std::int16_t port)
{
    wire.push_back({clock.now(), direction, bytes, meaning, port});
}

namespace {

std::string nameOf(const wire::Record& r)
{
    switch (r.direction) {
    case wire::Direction::ToDispenser: return "write " + wire::hex(r.bytes);
    case wire::Direction::FromDispenser: return r.bytes.empty() ? "read" : "read " + wire::hex(r.bytes);
    case wire::Direction::Event: break;
    }
    return r.port != 0 ? "open " + std::to_string(r.port) : "close";
}

} // namespace

std::vector<FakeMSComm::Op> FakeMSComm::ops(const std::string& prefix) const
{
    std::vector<Op> found;
    for (const wire::Record& r : wire)
        if (nameOf(r).compare(0, prefix.size(), prefix) == 0)
            found.push_back({r.at, nameOf(r)});
    return found;
}

std::vector<std::string> FakeMSComm::opNames() const
{
    std::vector<std::string> names;
    for (const wire::Record& r : wire)
        names.push_back(nameOf(r));
    return names;
}

std::string FakeMSComm::wireTrace() const
{
    std::string out;
    for (const wire::Record& r : wire)
        if (!(r.direction == wire::Direction::FromDispenser && r.meaning.empty()))
            out += wire::line(r);
    return out;
}
