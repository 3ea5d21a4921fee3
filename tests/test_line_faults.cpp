#include "FakeMainWindow.h"
#include "FrmPrincipal.h"
#include "Operator.h"
#include "OperatorReport.h"
#include "ProcessStats.h"
#include "Protocol.h"
#include "PtyPeer.h"
#include "QtWindowEvents.h"
#include "RealPlatform.h"
#include "ReplyShapes.h"
#include "SerialError.h"
#include "SerialPortControl.h"
#include "WindowFixture.h"

#include <QTimer>

#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;
using SteadyTime = std::chrono::steady_clock;

namespace {

PtyPeer::Answer always(const Reply& reply)
{
    return [reply](const std::string&) { return reply; };
}

void expectStoppedAnswering(const RecordedMessages& messages, const std::string& device)
{
    ASSERT_EQ(messages.fatals.size(), 1u);
    const std::string text = messages.fatals[0].toStdString();
    EXPECT_NE(text.find(device), std::string::npos) << text;
    EXPECT_NE(text.find("stopped answering"), std::string::npos) << text;
}

} // namespace

class LineReplies : public ::testing::TestWithParam<ReplyShape> {};

// Whatever comes down the line, the exchange decodes the second byte of what
// was waiting when two bytes had come, or after more than a second. Lower
// bounds are strict; upper ones leave room for a loaded machine, yet end
// well before a second where the wait must end before its bound.
TEST_P(LineReplies, DecodeTheSecondByteOfWhatWasWaiting)
{
    PtyPeer peer(always(GetParam().reply));
    RealLink link(peer.path());
    const auto start = SteadyTime::now();
    EXPECT_EQ(link.liaison.CVDStatut(), GetParam().code);
    const auto took = SteadyTime::now() - start;
    const Duration readAt = GetParam().readAt;
    EXPECT_GE(took, std::chrono::floor<std::chrono::milliseconds>(readAt));
    EXPECT_LT(took, readAt < 1s ? readAt + 700ms : 2000ms);
}

INSTANTIATE_TEST_SUITE_P(OverAPty, LineReplies, ::testing::ValuesIn(replyShapes(true)),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LineFaults, LateBytesAreReadFirstByTheNextExchange)
{
    int request = 0;
    PtyPeer peer([&request](const std::string&) {
        return ++request == 1 ? Reply{{1100ms, "\x01\x24"}} : Reply{{50ms, "\x01\x23"}};
    });
    RealLink link(peer.path());
    EXPECT_EQ(link.liaison.CVDStatut(), 0);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(link.liaison.CVDStatut(), Protocol::Busy);
}

TEST(LineFaults, AFloodIsReadInBoundedPieces)
{
    const std::string flood = "\x01\x24" + std::string(200000, '\x55');
    PtyPeer peer(always({{0ms, flood}}));
    RealLink link(peer.path());
    EXPECT_EQ(link.liaison.CVDStatut(), Protocol::Busy);
    std::size_t largest = 0;
    for (int i = 0; i < 100; ++i) {
        link.control.waitForInput(20ms);
        largest = std::max(largest, link.control.input().size());
    }
    EXPECT_LE(largest, 4096u) << "the control keeps at most 4 KiB of received bytes";
}

TEST(LineFaults, HangUpDuringTheReplyWaitEndsTheCommand)
{
    PtyPeer peer(always({}));
    RealWindow real(peer.path());
    real.window->liaison().NumPort = 1;
    std::thread cut([&peer] {
        std::this_thread::sleep_for(100ms);
        peer.hangUp();
    });
    const double cpuBefore = cpuSeconds();
    const auto start = SteadyTime::now();
    QTest::mouseClick(real.window->Command1, Qt::LeftButton);
    const auto took = SteadyTime::now() - start;
    cut.join();
    expectStoppedAnswering(real.messages, peer.path());
    EXPECT_EQ(real.window->Text1->text(), "");
    EXPECT_LT(took, 900ms) << "the hang-up ends the wait, before its one-second bound";
    EXPECT_LT(cpuSeconds() - cpuBefore, 0.25) << "no busy wait after the hang-up (one costs 0.7 s)";
}

TEST(LineFaults, HangUpDuringADispensePauseSendsNoCardOut)
{
    PtyPeer peer([](const std::string& r) {
        return r[1] == Protocol::Status ? Reply{{0ms, "\x01\x23"}} : Reply{{0ms, "\x01\x50"}};
    });
    RealWindow real(peer.path());
    std::thread cut([&peer] {
        std::this_thread::sleep_for(700ms);
        peer.hangUp();
    });
    const double cpuBefore = cpuSeconds();
    QTest::mouseClick(real.window->Command4, Qt::LeftButton);
    cut.join();
    expectStoppedAnswering(real.messages, peer.path());
    std::string received;
    for (const auto& r : peer.received())
        received += r.bytes;
    EXPECT_EQ(received, std::string("\x01\x37")) << "nothing after the hang-up";
    EXPECT_TRUE(real.automate.arguments.empty()) << "the handler ended at the error";
    EXPECT_LT(cpuSeconds() - cpuBefore, 0.1) << "no spin in the pause (one costs 0.8 s)";
}

// A far end that wrote a reply before the opening, and then never reads:
// the stale reply is discarded at the opening, and the line is there but
// takes no more data.
TEST(LineFaults, StaleBytesAreDiscardedAndAFullOutputBufferIsNotAHangUp)
{
    int master = -1, slave = -1;
    char path[128];
    ASSERT_EQ(openpty(&master, &slave, path, nullptr, nullptr), 0);
    ASSERT_EQ(write(master, "\x01\x23", 2), 2);
    SerialPortControl control({QString::fromLatin1(path)});
    control.setCommPort(1);
    control.setSettings(Protocol::LineSettings);
    control.setPortOpen(true);
    control.waitForInput(50ms);
    EXPECT_EQ(control.inBufferCount(), 0) << "a reply from before the opening was kept";
    const auto start = SteadyTime::now();
    try {
        control.output(std::string(1 << 20, '\x37'));
        ADD_FAILURE() << "a megabyte went into a line that nobody reads";
    } catch (const SerialError& error) {
        EXPECT_NE(std::string(error.what()).find(std::string(path) + "): the line takes no data"), std::string::npos)
            << error.what();
    }
    EXPECT_GE(SteadyTime::now() - start, 1000ms);
    control.setPortOpen(false);
    close(slave);
    close(master);
}

TEST(LineFaults, HangUpBeforeTheOpening)
{
    PtyPeer peer(always({}));
    peer.hangUp();
    RealWindow real(peer.path());
    real.window->liaison().NumPort = 1;
    QTest::mouseClick(real.window->Command1, Qt::LeftButton);
    expectStoppedAnswering(real.messages, peer.path());
}

// The error leaves the window's event loop with exit status 1.
TEST(LineFaults, AnErrorInAHandlerEndsTheProgramWithStatusOne)
{
    PtyPeer peer(always({}));
    peer.hangUp();
    SerialPortControl control({QString::fromStdString(peer.path())});
    SteadyClock clock;
    QtWindowEvents events;
    OperatorReport report(false);
    FakeAutomate automate;
    Platform platform{control, clock, events, report};
    QTimer::singleShot(0, [] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* button = top->findChild<QPushButton*>("Command4"))
                QTest::mouseClick(button, Qt::LeftButton);
    });
    EXPECT_EQ(runWindow(automate, platform), 1);
}
