#include "FakeAutomate.h"
#include "FrmPrincipal.h"
#include "ProcessStats.h"
#include "Protocol.h"
#include "PtyPeer.h"
#include "QtWindowEvents.h"
#include "RealPlatform.h"
#include "SerialError.h"
#include "SerialPortControl.h"
#include "WindowFixture.h"

#include <QSerialPort>

using namespace std::chrono_literals;
using SteadyTime = std::chrono::steady_clock;

namespace {

PtyPeer::Answer answerStatus(char code)
{
    return [code](const std::string& request) -> std::vector<PtyPeer::Part> {
        if (request[1] == Protocol::Status)
            return {{0ms, std::string{'\x01', code}}};
        return {{0ms, std::string{'\x01', static_cast<char>(Protocol::Ack)}}};
    };
}

std::string allReceived(PtyPeer& peer)
{
    std::string bytes;
    for (const auto& r : peer.received())
        bytes += r.bytes;
    return bytes;
}

} // namespace

TEST(SerialPty, NoReplyShowsZeroAfterOneSecond)
{
    PtyPeer peer([](const std::string&) { return std::vector<PtyPeer::Part>{}; });
    RealWindow real(peer.path());
    real.window->liaison().NumPort = 1;
    const double cpuBefore = cpuSeconds();
    const auto start = SteadyTime::now();
    QTest::mouseClick(real.window->Command2, Qt::LeftButton);
    const auto took = SteadyTime::now() - start;
    EXPECT_EQ(real.window->Text1->text(), "0");
    EXPECT_GE(took, 1000ms);
    EXPECT_LT(took, 2000ms);
    EXPECT_LT(cpuSeconds() - cpuBefore, 0.25) << "the wait sleeps (a busy wait costs a whole second)";
}

TEST(SerialPty, OpeningFailuresNameTheDeviceAndTheCause)
{
    PtyPeer peer([](const std::string&) { return std::vector<PtyPeer::Part>{}; });
    QSerialPort holder(QString::fromStdString(peer.path()));
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));

    struct Case {
        QStringList devices;
        std::int16_t port;
        std::string says;
    };
    for (const Case& c : {Case{{"/dev/cvd-no-such-device"}, 1, "/dev/cvd-no-such-device): no such device"},
                          Case{{QString::fromStdString(peer.path())}, 1, "busy or no permission"},
                          Case{{"/dev/a", "/dev/b"}, 0, "Serial port 0 does not exist"},
                          Case{{"/dev/a", "/dev/b"}, 3, "ports 1 to 2 (/dev/a, /dev/b)"}}) {
        SerialPortControl control(c.devices);
        control.setCommPort(c.port);
        control.setSettings(Protocol::LineSettings);
        try {
            control.setPortOpen(true);
            ADD_FAILURE() << "opened " << c.devices.join(",").toStdString();
        } catch (const SerialError& error) {
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
        }
        EXPECT_FALSE(control.portOpen());
    }
}

// What reaches the kernel is checked by the probe test's interposer.
TEST(SerialPty, MalformedLineSettingsAreRefused)
{
    SerialPortControl control({QStringLiteral("/nonexistent")});
    for (const char* bad : {"9600,X,8,1", "fast,E,8,1", "9600,E,9,1", "9600,E,8", "9600,E,8,3"})
        EXPECT_THROW(control.setSettings(bad), SerialError) << bad;
}

// One whole dispense in real time against a dispenser that is Ready: status,
// then card-out 1.5 s later, then the port is closed.
TEST(SerialPty, DispenseInRealTime)
{
    PtyPeer peer(answerStatus(Protocol::Ready));
    RealWindow real(peer.path());
    const double cpuBefore = cpuSeconds();
    const auto start = SteadyTime::now();
    QTest::mouseClick(real.window->Command4, Qt::LeftButton);
    const auto took = SteadyTime::now() - start;
    const double cpu = cpuSeconds() - cpuBefore;

    const auto received = peer.received();
    ASSERT_EQ(allReceived(peer), std::string("\x01\x37\x01\x42"));
    ASSERT_EQ(received.size(), 2u);
    const auto gap = received[1].at - received[0].at;
    EXPECT_GE(gap, 1500ms);
    EXPECT_LT(gap, 2500ms);
    EXPECT_FALSE(real.control.portOpen());
    EXPECT_EQ(real.window->Text1->text(), "-2");
    EXPECT_LT(cpu, 0.4) << "the pauses sleep (spinning through them costs 1.5 s)";
    std::printf("dispense took %.1f ms, %.1f ms of CPU\n", std::chrono::duration<double, std::milli>(took).count(),
                cpu * 1000);
}
