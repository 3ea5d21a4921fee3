#include "Clock.h"
#include "FakeMainWindow.h"
#include "LiaisonCVD.h"
#include "ProcessStats.h"
#include "Protocol.h"
#include "SerialPortControl.h"
#include "SimRig.h"
#include "WindowEvents.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// Real time for the reply waits; the pauses are skipped over, as if they
// had been waited.
class SkippingClock final : public Clock, public WindowEvents {
public:
    Duration now() const override { return std::chrono::steady_clock::now().time_since_epoch() + skipped; }
    void processPending() override {}
    void waitForEvents(Duration limit) override { skipped += limit; }

private:
    Duration skipped{0};
};

#if defined(__SANITIZE_ADDRESS__)
constexpr bool MemoryIsMeaningful = false; // the sanitizer holds freed memory back on purpose
#else
constexpr bool MemoryIsMeaningful = true;
#endif

} // namespace

TEST(Soak, ThousandCommandsAndFiftyDispensesLeakNothing)
{
    SimRig sim(SIM_PROGRAM, {"--cards", "100000", "--reply-delay", "0", "--cardout-busy", "0", "--reset-busy", "0"},
               "/dev/null");
    SerialPortControl control({QString::fromStdString(sim.link())});
    FakeMainWindow window(control);
    SkippingClock clock;
    LiaisonCVD liaison(window, clock, clock);
    liaison.NumPort = 1;

    auto round = [&](int commands, int dispenses) {
        for (int i = 0; i < commands; ++i)
            ASSERT_EQ(liaison.CVDStatut(), Protocol::Ready) << i;
        for (int i = 0; i < dispenses; ++i) {
            liaison.DistribueCarte();
            ASSERT_FALSE(control.portOpen());
        }
    };
    round(50, 5); // warm up: first allocations of Qt and the C library
    const std::size_t descriptors = openDescriptors();
    const long memory = residentKb();
    round(1000, 50); // ends, like the warm-up, with the port closed
    EXPECT_EQ(openDescriptors(), descriptors);
    if (MemoryIsMeaningful) {
        EXPECT_LT(residentKb() - memory, 512) << "kB grown";
    }
}
