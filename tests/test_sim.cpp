#include "Protocol.h"
#include "SerialError.h"
#include "SerialPortControl.h"
#include "SimRig.h"
#include "Spawn.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <thread>
#include <tuple>

using namespace std::chrono_literals;

namespace {

const std::string Status{"\x01\x37"};

std::string reply(char code)
{
    return std::string{'\x01', code};
}

} // namespace

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
