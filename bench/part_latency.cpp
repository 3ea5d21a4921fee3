#include "Cores.h"
#include "Parts.h"
#include "Peers.h"
#include "Protocol.h"
#include "RealPlatform.h"

std::vector<Row> replyLatency()
{
    // The peers, and the kernel's work that hands their bytes across, answer
    // from a core of their own, as a serial port's interrupt may come on any
    // core. Left to the scheduler, the two sides shared a core
    // for whole blocks, where the wake-up crosses no core and the program's
    // own microseconds weigh more: a block's ratio rose from 1.03 to 1.6.
    const ThreadOnCore onFirst(0);
    const KernelWorkOnCore withThePeers(lastCore());
    Peer linkPeer(false, lastCore()), barePeer(false, lastCore());
    RealLink link(linkPeer.path);
    BareTermios bare(barePeer.path);
    auto measureLink = [&] {
        const bool ready = link.liaison.CVDStatut() == Protocol::Ready;
        const auto done = Steady::now();
        return ready ? ms(done - replyTime(linkPeer)) * 1000 : -1;
    };
    auto measureBare = [&] {
        const bool ready = bare.status() == 0x23;
        const auto done = Steady::now();
        return ready ? ms(done - replyTime(barePeer)) * 1000 : -1;
    };
    // Within a block the two take turns exchange by exchange, so that a
    // spell of a slower host, which here can last a whole block, falls on both.
    auto block = [&](std::vector<double>& linkAll, std::vector<double>& bareAll) {
        std::vector<double> linkBlock, bareBlock;
        for (int i = 0; i < 400; ++i) {
            const bool linkTurn = i % 4 == 0 || i % 4 == 3;
            std::vector<double>& into = linkTurn ? linkBlock : bareBlock;
            if (const double t = linkTurn ? measureLink() : measureBare(); t >= 0)
                into.push_back(t);
        }
        linkAll.insert(linkAll.end(), linkBlock.begin(), linkBlock.end());
        bareAll.insert(bareAll.end(), bareBlock.begin(), bareBlock.end());
        return measured(linkBlock, "a block of replies").median / measured(bareBlock, "a block of bare replies").median;
    };
    std::vector<double> warmUp, linkUs, bareUs, ratios;
    block(warmUp, warmUp);
    for (int b = 0; b < Blocks; ++b)
        ratios.push_back(block(linkUs, bareUs));
    const Stats l = measured(linkUs, "reply latency"), b = measured(bareUs, "bare reply latency"),
                r = Stats::of(ratios);
    return {
        {"reply latency, program (µs)",
         format("median %.0f, p90 %.0f, p99 %.0f, max %.0f", l.median, l.p90, l.p99, l.max), "p99 < 1000",
         l.p99 < 1000},
        {"reply latency, bare termios (µs)",
         format("median %.0f, p90 %.0f, p99 %.0f, max %.0f", b.median, b.p90, b.p99, b.max), "baseline", true},
        {format("reply latency, program / bare, ratio of medians in %.0f blocks", Blocks), spread(r),
         "<= 1.2 in every block", r.max <= 1.2},
    };
}
