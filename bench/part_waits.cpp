#include "Baselines.h"
#include "Cores.h"
#include "Parts.h"
#include "Peers.h"
#include "TimedLink.h"

using namespace std::chrono_literals;

// Every length of pause the dispense sequence uses, and the reply wait with no
// reply, once per block; lateness is the time beyond the deadline.
std::vector<Row> waits()
{
    // On one core, so that a wait does not wake on a core whose caches hold
    // another's work.
    const ThreadOnCore onFirst(0);
    const KernelWorkOnCore withTheProgram(0);
    Peer silent(true, 0), silentToo(true, 0);
    TimedLink link(silent.path);
    MillisecondReplyWait baselineReplyWait(silentToo.path);
    LiaisonCVD& liaison = link.liaison;
    const std::vector<double> lengths{0.1, 0.2, 0.3, 0.5, 1.0};
    std::vector<std::vector<double>> late(lengths.size() + 1);
    CpuUse pauseCpu, baselineCpu, baselineReplyCpu;
    std::vector<double> pauseCpuRatios, replyWaitCpuRatios;
    MillisecondTimerEvents baselineEvents;
    LiaisonCVD baseline(link.window, link.real.clock, baselineEvents);
    liaison.CVDStatut(); // opens the port
    link.timed.replyWaits = {};
    for (int b = 0; b < Blocks; ++b) {
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            const auto start = Steady::now();
            liaison.Tempo(lengths[i]);
            late[i].push_back(ms(Steady::now() - start) - lengths[i] * 1000);
        }
        for (int turn = 0; turn < CpuTurns; ++turn) {
            const bool programFirst = (b + turn) % 2 == 0;
            (programFirst ? pauseCpu : baselineCpu).add([&] { (programFirst ? liaison : baseline).Tempo(1.0); });
            (programFirst ? baselineCpu : pauseCpu).add([&] { (programFirst ? baseline : liaison).Tempo(1.0); });
            if (!programFirst)
                baselineReplyCpu.add([&] { baselineReplyWait(); });
            liaison.CVDStatut();
            late.back().push_back(ms(link.timed.lastWait) - 1000);
            if (programFirst)
                baselineReplyCpu.add([&] { baselineReplyWait(); });
        }
        pauseCpuRatios.push_back(pauseCpu.lastMedian(CpuTurns) / baselineCpu.lastMedian(CpuTurns));
        replyWaitCpuRatios.push_back(link.timed.replyWaits.lastMedian(CpuTurns) /
                                     baselineReplyCpu.lastMedian(CpuTurns));
    }
    std::vector<Row> rows;
    for (std::size_t i = 0; i <= lengths.size(); ++i) {
        const Stats s = Stats::of(late[i]);
        const std::string figure = i < lengths.size() ? format("Tempo %.1f s, lateness (ms)", lengths[i])
                                                      : std::string("reply wait with no reply, beyond 1 s (ms)");
        rows.push_back({figure, format("median %.3f, p90 %.3f, max %.3f, min %.3f", s.median, s.p90, s.max, s.min),
                        "median < 0.1, min >= 0", s.median < 0.1 && s.min >= 0});
    }
    // One wake-up costs 0.1 to 1 ms of CPU on this kind of virtual machine,
    // as the host lets it, so a ratio to Qt's own waits cannot settle a goal
    // of a few percent: the goal is the absolute cost, under 0.05 % of a
    // core, and the ratio (of medians of five waits a block) is reported.
    const auto cpuRows = [&](const std::string& wait, const CpuUse& use, const std::vector<double>& ratios) {
        const Stats s = Stats::of(use.samples);
        // Waits of a second each: their mean is the CPU per second waited.
        rows.push_back({"CPU of " + wait + " (ms per s waited)", format("mean %.2f; ", s.mean) + spread(s),
                        "mean <= 0.5", s.mean <= 0.5});
        rows.push_back({"CPU of " + wait + " / baseline, per block", spread(Stats::of(ratios)), "reported", true});
    };
    rows.push_back({"CPU of Tempo 1.0 woken by Qt's millisecond timer, per wait (ms per s)",
                    spread(Stats::of(baselineCpu.samples)), "baseline", true});
    cpuRows("Tempo 1.0", pauseCpu, pauseCpuRatios);
    rows.push_back({"CPU of QSerialPort's own 1 s wait with no reply, per wait (ms per s)",
                    spread(Stats::of(baselineReplyCpu.samples)), "baseline", true});
    cpuRows("the reply wait with no reply", link.timed.replyWaits, replyWaitCpuRatios);
    return rows;
}
