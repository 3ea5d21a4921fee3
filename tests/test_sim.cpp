#include "Dispenser.h"
#include "Fault.h"
#include "Options.h"

#include "Protocol.h"
#include "SerialError.h"
#include "SerialPortControl.h"
#include "SimRig.h"
#include "Spawn.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <tuple>
#include <thread>

using namespace std::chrono_literals;
using State = Dispenser::State;
using Ms = std::chrono::milliseconds;

namespace {

const std::string Status{"\x01\x37"}, Reset{"\x01\x40"}, CardOut{"\x01\x42"};

std::string reply(char code)
{
    return std::string{'\x01', code};
}

Dispenser make(State start, int cards)
{
    Dispenser::Settings settings;
    settings.start = start;
    settings.cards = cards;
    settings.resetBusy = 2000ms;
    settings.cardOutBusy = 500ms;
    return Dispenser(settings);
}

} // namespace

TEST(SimDispenser, StatusInEachState)
{
    struct Case {
        State start;
        int cards;
        char code;
    };
    for (const Case& c : {Case{State::Ready, 3, 0x23}, Case{State::Ready, 0, 0x22}, Case{State::Empty, 3, 0x22},
                          Case{State::Error, 3, 0x25}, Case{State::Busy, 3, 0x24}}) {
        Dispenser d = make(c.start, c.cards);
        EXPECT_EQ(d.answer(Status, 0ms).reply, reply(c.code)) << Dispenser::nameOf(c.start);
    }
}

TEST(SimDispenser, BusyAtStartBecomesReadyAfterTheResetTime)
{
    Dispenser d = make(State::Busy, 3);
    EXPECT_EQ(d.answer(Status, 1999ms).reply, reply(0x24));
    EXPECT_EQ(d.answer(Status, 2000ms).reply, reply(0x23));
}

TEST(SimDispenser, ResetAcksAndIsBusyThenReadyOrEmpty)
{
    for (int cards : {2, 0}) {
        Dispenser d = make(State::Error, cards);
        EXPECT_EQ(d.answer(Reset, 100ms).reply, reply(0x50));
        EXPECT_EQ(d.answer(Status, 2099ms).reply, reply(0x24));
        EXPECT_EQ(d.answer(Status, 2100ms).reply, reply(cards ? 0x23 : 0x22));
    }
}

TEST(SimDispenser, CardOutCountsTheStock)
{
    Dispenser d = make(State::Ready, 2);
    EXPECT_EQ(d.answer(CardOut, 0ms).reply, reply(0x50));
    EXPECT_EQ(d.cards(), 1);
    EXPECT_EQ(d.answer(CardOut, 100ms).reply, reply(0x4B)) << "busy after a card-out";
    EXPECT_EQ(d.answer(Status, 499ms).reply, reply(0x24));
    EXPECT_EQ(d.answer(CardOut, 500ms).reply, reply(0x50));
    EXPECT_EQ(d.cards(), 0);
    EXPECT_EQ(d.answer(Status, 1000ms).reply, reply(0x22)) << "empty once the last card is out";
    EXPECT_EQ(d.answer(CardOut, 1000ms).reply, reply(0x4B));
    EXPECT_EQ(d.cards(), 0);
}

TEST(SimDispenser, UnknownRequestsAreRefused)
{
    Dispenser d = make(State::Ready, 2);
    for (const std::string& request : {std::string("\x01\x41"), std::string("\x02\x37"), std::string("\x01")})
        EXPECT_EQ(d.answer(request, 0ms).reply, reply(0x4B));
    EXPECT_EQ(d.cards(), 2);
}

TEST(SimFault, ShapesTheReply)
{
    struct Case {
        const char* fault;
        std::vector<std::pair<int, std::string>> chunks;
    };
    const std::string r = reply(0x23);
    for (const Case& c :
         {Case{"none", {{5, r}}}, Case{"silent", {}}, Case{"late:1500", {{1505, r}}}, Case{"one-byte", {{5, "\x01"}}},
          Case{"extra-bytes", {{5, r + "\x99\x98"}}}, Case{"garbage", {{5, std::string("\xff\x7e\x00", 3)}}},
          Case{"split:200", {{5, "\x01"}, {205, "\x23"}}}}) {
        Fault fault;
        ASSERT_TRUE(Fault::parse(c.fault, fault)) << c.fault;
        std::vector<std::pair<int, std::string>> shaped;
        for (const auto& chunk : fault.shape(r, 5ms))
            shaped.emplace_back(static_cast<int>(chunk.after.count()), chunk.bytes);
        EXPECT_EQ(shaped, c.chunks) << c.fault;
    }
    Fault fault;
    for (const char* bad :
         {"late", "split:", "late:-1", "late:x", "noisy", "late:3600001", "split:99999999999999999999"})
        EXPECT_FALSE(Fault::parse(bad, fault)) << bad;
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
                                               {"--link"}}) {
        Options o;
        EXPECT_FALSE(parse(bad, o, error)) << bad.size();
        EXPECT_FALSE(error.empty());
    }
}

// The simulator as a process, reached through its link as the program reaches it.
class SimProcess : public ::testing::Test {
protected:
    void start(const std::vector<std::string>& options = {})
    {
        sim = std::make_unique<SimRig>(SIM_PROGRAM, options);
        ASSERT_TRUE(sim->linked()) << "no link";
        link = sim->link();
    }
    CodeReponse statusThroughTheLink(SerialPortControl& control)
    {
        control.output(Protocol::request(Protocol::Status));
        for (int i = 0; i < 10 && control.inBufferCount() < 2; ++i)
            control.waitForInput(1s);
        return Protocol::decodeReply(control.input());
    }

    std::unique_ptr<SimRig> sim;
    std::string link;
};

TEST_F(SimProcess, SurvivesCloseAndReopenAndAKilledClient)
{
    start({"--state", "busy", "--reset-busy", "0"});
    SerialPortControl control({QString::fromStdString(link)});
    control.setCommPort(1);
    control.setSettings(Protocol::LineSettings);
    for (int round = 0; round < 3; ++round) {
        control.setPortOpen(true);
        EXPECT_EQ(statusThroughTheLink(control), Protocol::Ready) << round;
        control.setPortOpen(false);
    }

    // A client killed while open never restores the line settings it set.
    const pid_t client = spawn({PROBE_PROGRAM, "--device", link, "dispense"});
    auto opened = [this] {
        int count = 0;
        for (const wire::Record& r : sim->records())
            count += r.meaning == "client opened the port";
        return count;
    };
    for (int i = 0; i < 300 && opened() < 4; ++i)
        std::this_thread::sleep_for(10ms);
    kill(client, SIGKILL);
    waitpid(client, nullptr, 0);
    std::this_thread::sleep_for(100ms);
    control.setPortOpen(true);
    EXPECT_EQ(statusThroughTheLink(control), Protocol::Ready);
    control.setPortOpen(false);
    EXPECT_NE(sim->traceText().find("client closed the port"), std::string::npos);
}

TEST_F(SimProcess, EndsCleanlyOnSigtermAndRemovesItsLink)
{
    start();
    const int status = sim->stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(access(link.c_str(), F_OK), 0) << "the link is gone";
    EXPECT_NE(sim->traceText().find("stopped"), std::string::npos);
}

TEST_F(SimProcess, TracesEveryFrameWithItsMeaning)
{
    start({"--cards", "1"});
    SerialPortControl control({QString::fromStdString(link)});
    control.setCommPort(1);
    control.setSettings(Protocol::LineSettings);
    control.setPortOpen(true);
    EXPECT_EQ(statusThroughTheLink(control), Protocol::Ready);
    control.setPortOpen(false);
    std::this_thread::sleep_for(50ms);
    using wire::Direction;
    std::vector<std::tuple<Direction, std::string, std::string>> frames;
    for (const wire::Record& r : sim->records())
        if (r.direction != Direction::Event)
            frames.emplace_back(r.direction, r.bytes, r.meaning);
    EXPECT_EQ(frames, (decltype(frames){{Direction::ToDispenser, Status, "status"},
                                        {Direction::FromDispenser, reply(0x23), "status -> Ready"}}))
        << sim->traceText();
}
