#include "Dispenser.h"
#include "Options.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using State = Dispenser::State;

// cvd-sim's own model of the dispenser, apart from the program's protocol
// code. From a starting state and stock, each step is a request at a time
// since the start, the reply code it gets, and the stock after it.
TEST(SimDispenser, AnswersEachRequestInTurn)
{
    const std::string S{"\x01\x37"}, R{"\x01\x40"}, C{"\x01\x42"};
    struct Step {
        std::string request;
        int atMs;
        char code;
        int cards;
    };
    struct Run {
        const char* name;
        State start;
        int cards;
        std::vector<Step> steps;
    };
    const Run runs[] = {
        {"ready", State::Ready, 3, {{S, 0, 0x23, 3}}},
        {"ready without cards", State::Ready, 0, {{S, 0, 0x22, 0}}},
        {"empty", State::Empty, 3, {{S, 0, 0x22, 3}}},
        {"error", State::Error, 3, {{S, 0, 0x25, 3}}},
        {"busy until the reset time", State::Busy, 3, {{S, 1999, 0x24, 3}, {S, 2000, 0x23, 3}}},
        {"reset, busy, ready", State::Error, 2, {{R, 100, 0x50, 2}, {S, 2099, 0x24, 2}, {S, 2100, 0x23, 2}}},
        {"reset, busy, empty", State::Error, 0, {{R, 100, 0x50, 0}, {S, 2099, 0x24, 0}, {S, 2100, 0x22, 0}}},
        {"card-outs take from the stock, busy after each, empty at the end",
         State::Ready,
         2,
         {{C, 0, 0x50, 1},
          {C, 100, 0x4B, 1},
          {S, 499, 0x24, 1},
          {C, 500, 0x50, 0},
          {S, 1000, 0x22, 0},
          {C, 1000, 0x4B, 0}}},
        {"unknown requests refused",
         State::Ready,
         2,
         {{"\x01\x41", 0, 0x4B, 2}, {"\x02\x37", 0, 0x4B, 2}, {"\x01", 0, 0x4B, 2}}},
    };
    for (const Run& run : runs) {
        Dispenser::Settings settings;
        settings.start = run.start;
        settings.cards = run.cards;
        settings.resetBusy = 2000ms;
        settings.cardOutBusy = 500ms;
        Dispenser d(settings);
        for (const Step& s : run.steps) {
            EXPECT_EQ(d.answer(s.request, std::chrono::milliseconds(s.atMs)).reply, std::string({'\x01', s.code}))
                << run.name << ", at " << s.atMs << " ms";
            EXPECT_EQ(d.cards(), s.cards) << run.name << ", at " << s.atMs << " ms";
        }
    }
}

TEST(SimOptions, ParseAndRefuse)
{
    auto parse = [](std::vector<const char*> args, Options& options, std::string& error) {
        args.insert(args.begin(), "cvd-sim");
        bool help = false;
        return parseOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()), options, error, help);
    };
    Options options;
    std::string error;
    ASSERT_TRUE(
        parse({"--link", "/tmp/x", "--cards", "0", "--state", "error", "--reply-delay", "7", "--fault", "split:30"},
              options, error))
        << error;
    EXPECT_EQ(options.dispenser.cards, 0);
    EXPECT_EQ(options.dispenser.start, State::Error);
    EXPECT_EQ(options.replyDelay, 7ms);
    EXPECT_EQ(options.fault.kind, Fault::Kind::Split);
    for (const std::vector<const char*>& bad :
         std::vector<std::vector<const char*>>{{"--cards", "3"},
                                               {"--link", "/x", "--cards", "-1"},
                                               {"--link", "/x", "--cards", "4294967296"},
                                               {"--link", "/x", "--reply-delay", "3600001"},
                                               {"--link", "/x", "--reset-busy", "99999999999999999999"},
                                               {"--link", "/x", "--state", "jammed"},
                                               {"--link", "/x", "--bogus", "1"},
                                               {"--link"},
                                               {"--link", "/x", "--fault", "late"},
                                               {"--link", "/x", "--fault", "split:"},
                                               {"--link", "/x", "--fault", "late:-1"},
                                               {"--link", "/x", "--fault", "late:x"},
                                               {"--link", "/x", "--fault", "noisy"},
                                               {"--link", "/x", "--fault", "late:3600001"},
                                               {"--link", "/x", "--fault", "split:99999999999999999999"}}) {
        Options o;
        EXPECT_FALSE(parse(bad, o, error)) << bad.size();
        EXPECT_FALSE(error.empty());
    }
}
