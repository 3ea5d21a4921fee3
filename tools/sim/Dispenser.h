#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// A card dispenser as its requests see it: a stock of cards and a state
// that a reset or a card-out makes Busy for a while.
class Dispenser {
public:
    using Ms = std::chrono::milliseconds;

    enum class State { Ready, Busy, Empty, Error };

    struct Settings {
        int cards = 10;
        State start = State::Ready;
        Ms resetBusy{2000};
        Ms cardOutBusy{500};
    };

    struct Answer {
        std::string reply;   // the two reply bytes
        std::string meaning; // "status -> Ready"
    };

    explicit Dispenser(const Settings& settings);

    // The answer to one two-byte request received at `now`.
    Answer answer(const std::string& request, Ms now);

    State state(Ms now);
    int cards() const { return stock; }

    static std::string nameOf(State state);
    static bool parseState(const std::string& text, State& state);

private:
    void becomeBusy(Ms now, Ms length);

    Settings settings;
    State current;
    int stock;
    Ms busyUntil{0};
};
