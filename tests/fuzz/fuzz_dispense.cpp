// A whole dispense button run against a dispenser whose replies come from
// the input, checked against the dispense sequence. Built for libFuzzer by
// scripts/fuzz; the test suite runs it over the committed corpus and over
// seeded random scripts (replay.cpp).

#include "Attempts.h"
#include "DispenseOracle.h"
#include "FakeAutomate.h"
#include "FakeMSComm.h"
#include "FakeMainWindow.h"
#include "FakeWindowEvents.h"
#include "LiaisonCVD.h"
#include "Reached.h"
#include "ScriptedDispenser.h"

#include <cstdio>
#include <cstdlib>

Reached reached;

namespace {

[[noreturn]] void broken(const std::string& what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
    std::abort();
}

} // namespace

// Input: the attempt on which the library answers -2 (0: never), the
// library's other answer, then the dispenser's reply script.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int stopOn = data[0] % 5;
    const std::int32_t otherAnswer = static_cast<std::int8_t>(data[1]) == -2 ? 0 : static_cast<std::int8_t>(data[1]);
    std::vector<std::int32_t> answers(4, otherAnswer);
    if (stopOn > 0)
        answers[stopOn - 1] = -2;

    VirtualClock clock;
    FakeWindowEvents events(clock);
    FakeMSComm comm(clock, scriptedDispenser(std::string(reinterpret_cast<const char*>(data + 2), size - 2)));
    FakeMainWindow window(comm);
    FakeAutomate automate(answers);
    LiaisonCVD liaison(window, clock, events);
    liaison.NumPort = 1;

    int shown = 0;
    const std::int32_t result = runAttempts(liaison, automate, events, [&](int attempt) {
        if (attempt != shown + 1)
            broken("attempt numbers skip");
        shown = attempt;
    });

    const auto attempts = attemptsOf(comm);
    const std::size_t expected = stopOn > 0 ? static_cast<std::size_t>(stopOn) : 4;
    if (attempts.size() != expected || static_cast<std::size_t>(shown) != expected)
        broken("ran " + std::to_string(attempts.size()) + " attempts, expected " + std::to_string(expected));
    if (automate.arguments != std::vector<std::int32_t>(expected, 5))
        broken("VerifCardOut is not called once with 5 after every attempt");
    if (result != answers[expected - 1])
        broken("the result is not the library's last answer");
    if (!comm.violations.empty())
        broken(comm.violations.front());
    for (std::size_t i = 0; i < attempts.size(); ++i) {
        const auto faults = checkAttempt(attempts[i]);
        if (!faults.empty())
            broken("attempt " + std::to_string(i + 1) + ": " + faults.front());
        if (i > 0 && attempts[i].opened != attempts[i - 1].closedAt)
            broken("time passed between two attempts");
        const std::string letters = lettersOf(attempts[i]);
        ++reached.attempts;
        reached.cardOuts += !letters.empty() && letters.back() == 'C';
        reached.recoveries += letters.find('R') != std::string::npos;
    }
    // Every moment of the run is a reply wait or a pause that the checks above accounted for.
    if (clock.now() != attempts.back().closedAt)
        broken("the run went on after its last attempt");
    return 0;
}
