#include "Dispenser.h"

namespace {

// The dispenser's side of the protocol, written from the dispenser's point of
// view and on purpose not shared with the program: a mistake made in one is
// then caught by the other.
constexpr char Start = 0x01;
constexpr char StatusRequest = 0x37;
constexpr char ResetRequest = 0x40;
constexpr char CardOutRequest = 0x42;
constexpr char Ack = 0x50;
constexpr char Nack = 0x4B;

char codeOf(Dispenser::State state)
{
    switch (state) {
    case Dispenser::State::Ready: return 0x23;
    case Dispenser::State::Busy: return 0x24;
    case Dispenser::State::Empty: return 0x22;
    case Dispenser::State::Error: return 0x25;
    }
    return 0;
}

std::string reply(char code)
{
    return std::string{Start, code};
}

} // namespace

Dispenser::Dispenser(const Settings& settings)
    : settings(settings),
      current(settings.start),
      stock(settings.cards)
{
    if (current == State::Ready && stock <= 0)
        current = State::Empty;
    if (current == State::Busy)
        busyUntil = settings.resetBusy;
}

Dispenser::State Dispenser::state(Ms now)
{
    if (current == State::Busy && now >= busyUntil)
        current = stock > 0 ? State::Ready : State::Empty;
    return current;
}

void Dispenser::becomeBusy(Ms now, Ms length)
{
    current = State::Busy;
    busyUntil = now + length;
}

Dispenser::Answer Dispenser::answer(const std::string& request, Ms now)
{
    const State before = state(now);
    if (request.size() != 2 || request[0] != Start)
        return {reply(Nack), "unknown request -> NACK"};

    switch (request[1]) {
    case StatusRequest: return {reply(codeOf(before)), "status -> " + nameOf(before)};
    case ResetRequest: becomeBusy(now, settings.resetBusy); return {reply(Ack), "reset -> ACK"};
    case CardOutRequest:
        if (before != State::Ready)
            return {reply(Nack), "card-out -> NACK (" + nameOf(before) + ")"};
        --stock;
        becomeBusy(now, settings.cardOutBusy);
        return {reply(Ack), "card-out -> ACK, card dispensed, " + std::to_string(stock) + " left"};
    default: return {reply(Nack), "unknown request -> NACK"};
    }
}

std::string Dispenser::nameOf(State state)
{
    switch (state) {
    case State::Ready: return "Ready";
    case State::Busy: return "Busy";
    case State::Empty: return "Empty";
    case State::Error: return "Error";
    }
    return "?";
}

bool Dispenser::parseState(const std::string& text, State& state)
{
    for (State s : {State::Ready, State::Busy, State::Empty, State::Error}) {
        std::string name = nameOf(s);
        name[0] = static_cast<char>(name[0] - 'A' + 'a');
        if (text == name || text == nameOf(s)) {
            state = s;
            return true;
        }
    }
    return false;
}
