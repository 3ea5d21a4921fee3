// Measures the program's waits side by side with a bare termios exchange on
// the same kind of pseudo-terminal, and prints a Markdown table of figures,
// goals and verdicts.

#include "Clock.h"
#include "FakeMainWindow.h"
#include "ForwardingComm.h"
#include "LiaisonCVD.h"
#include "Protocol.h"
#include "QtWindowEvents.h"
#include "RealPlatform.h"
#include "SerialPortControl.h"
#include "SimRig.h"
#include "Stats.h"

#include <QApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

extern char** environ;

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

double ms(Steady::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

cpu_set_t onlyCore(int core)
{
    cpu_set_t only;
    CPU_ZERO(&only);
    CPU_SET(core, &only);
    return only;
}

int lastCore()
{
    return std::max(0, static_cast<int>(std::thread::hardware_concurrency()) - 1);
}

// Keeps the calling thread, and what it starts, on one core while it lives.
class ThreadOnCore {
public:
    explicit ThreadOnCore(int core)
    {
        sched_getaffinity(0, sizeof was, &was);
        const cpu_set_t only = onlyCore(core);
        sched_setaffinity(0, sizeof only, &only);
    }
    ~ThreadOnCore() { sched_setaffinity(0, sizeof was, &was); }
    ThreadOnCore(const ThreadOnCore&) = delete;
    ThreadOnCore& operator=(const ThreadOnCore&) = delete;

private:
    cpu_set_t was{};
};

// Keeps the kernel's unbound work, which hands bytes across a
// pseudo-terminal, on one core while it lives (as root; elsewhere it stays
// where it was). Left free, it ran on either core from one run to the next,
// on the waiting side's core in some, and added a wake-up there.
class KernelWorkOnCore {
public:
    explicit KernelWorkOnCore(int core)
    {
        std::ifstream(UnboundWork) >> was;
        std::ofstream moved(UnboundWork);
        if (!(moved << std::hex << (1u << core) << std::flush))
            was.clear();
    }
    ~KernelWorkOnCore()
    {
        if (!was.empty())
            std::ofstream(UnboundWork) << was;
    }
    KernelWorkOnCore(const KernelWorkOnCore&) = delete;
    KernelWorkOnCore& operator=(const KernelWorkOnCore&) = delete;

private:
    static constexpr const char* UnboundWork = "/sys/devices/virtual/workqueue/cpumask";
    std::string was;
};

// A dispenser on a pseudo-terminal that answers Ready at once (or never) and
// notes the moment it wrote each reply.
class Peer {
public:
    // On `core` when one is given.
    explicit Peer(bool silent, int core = -1)
        : silent(silent)
    {
        char name[128];
        openpty(&master, &slave, name, nullptr, nullptr);
        path = name;
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        if (pipe(stop) != 0)
            std::abort();
        thread = std::thread([this, core] {
            if (core >= 0) {
                const cpu_set_t only = onlyCore(core);
                sched_setaffinity(0, sizeof only, &only);
            }
            serve();
        });
    }
    ~Peer()
    {
        close(stop[1]);
        thread.join();
        close(stop[0]);
        close(master);
        close(slave);
    }
    std::string path;
    std::atomic<Steady::rep> lastReply{0};

private:
    void serve()
    {
        char request[2];
        std::size_t have = 0;
        // No time-out: a peer that woke now and then would disturb the waits measured.
        for (;;) {
            pollfd p[2] = {{master, POLLIN, 0}, {stop[0], POLLIN, 0}};
            if (poll(p, 2, -1) <= 0)
                continue;
            if (p[1].revents != 0)
                return;
            const ssize_t n = read(master, request + have, 2 - have);
            if (n <= 0)
                continue;
            have += static_cast<std::size_t>(n);
            if (have < 2)
                continue;
            have = 0;
            if (silent)
                continue;
            lastReply = Steady::now().time_since_epoch().count();
            const char reply[2] = {0x01, 0x23};
            if (write(master, reply, 2) != 2)
                return;
        }
    }
    bool silent;
    int master = -1, slave = -1;
    int stop[2] = {-1, -1};
    std::thread thread;
};

Steady::time_point replyTime(const Peer& peer)
{
    return Steady::time_point(Steady::duration(peer.lastReply.load()));
}

// The bare exchange: write, poll, read on a raw descriptor.
class BareTermios {
public:
    explicit BareTermios(const std::string& path)
    {
        fd = open(path.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        cfsetspeed(&t, B9600);
        t.c_cflag |= PARENB;
        tcsetattr(fd, TCSANOW, &t);
    }
    ~BareTermios() { close(fd); }
    char status()
    {
        const char request[2] = {0x01, 0x37};
        if (write(fd, request, 2) != 2)
            return 0;
        char reply[2];
        std::size_t have = 0;
        while (have < 2) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0)
                return 0;
            const ssize_t n = read(fd, reply + have, 2 - have);
            if (n > 0)
                have += static_cast<std::size_t>(n);
        }
        return reply[1];
    }

private:
    int fd = -1;
};

// The CPU that waits cost this thread, read from the scheduler's own count:
// getrusage() splits a thread's time by sampling ticks, and for a thread that
// runs a few microseconds per second it under-reports erratically (0.02 where
// this reads 0.35 ms in the same second).
class CpuUse {
public:
    template <typename Wait>
    void add(Wait wait)
    {
        const double cpuBefore = threadCpuMs();
        const auto start = Steady::now();
        wait();
        samples.push_back((threadCpuMs() - cpuBefore) / (ms(Steady::now() - start) / 1000));
    }
    // Milliseconds of CPU per second of wall-clock time, wait by wait.
    std::vector<double> samples;
    // The median of the last `count` waits.
    double lastMedian(int count) const { return Stats::of({samples.end() - count, samples.end()}).median; }

private:
    static double threadCpuMs()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }
};

// Notes when each request was sent, when it was on the line, and when its
// reply was read.
class TimedControl final : public ForwardingComm {
public:
    using ForwardingComm::ForwardingComm;
    void setPortOpen(bool o) override
    {
        const auto start = Steady::now();
        inner.setPortOpen(o);
        opening += Steady::now() - start;
    }
    void output(const std::string& b) override
    {
        sent = Steady::now();
        inner.output(b);
        written = Steady::now();
        writing += written - sent;
    }
    std::int16_t inBufferCount() override
    {
        const std::int16_t count = inner.inBufferCount();
        counted = Steady::now();
        return count;
    }
    std::string input() override
    {
        std::string bytes = inner.input();
        if (sent != Steady::time_point{}) {
            const auto now = Steady::now();
            replies += now - sent;
            lastWait = counted - written;
            waitsBeyond += lastWait - std::chrono::seconds(1);
        }
        sent = {};
        return bytes;
    }
    void waitForInput(Duration limit) override
    {
        replyWaits.add([&] { inner.waitForInput(limit); });
    }

    // From each request's sending to its reply's reading, added up.
    Steady::duration replies{0};
    // From the last request being on the line to the count that ended its wait.
    Steady::duration lastWait{0};
    Steady::duration writing{0}, waitsBeyond{0}, opening{0};
    CpuUse replyWaits;

private:
    Steady::time_point sent{}, written{}, counted{};
};

// The program's link on a real serial control, its exchanges timed.
struct TimedLink {
    explicit TimedLink(const std::string& device)
        : real(device),
          timed(real.control),
          window(timed),
          liaison(window, real.clock, real.events)
    {
        liaison.NumPort = 1;
    }
    RealLink real;
    TimedControl timed;
    FakeMainWindow window;
    LiaisonCVD liaison;
};

// Program and baseline take turns in blocks, so that whatever the machine
// does meanwhile falls on both; each block gives one ratio of medians.
constexpr int Blocks = 10;
// Turns of program and baseline per block where CPU is measured.
constexpr int CpuTurns = 5;

std::string spread(const Stats& s, const char* unit = "")
{
    return format("median %.2f, range %.2f to %.2f", s.median, s.min, s.max) + unit;
}

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

// The pause's window events as the program had them before, woken by Qt's
// millisecond timer: the baseline for the CPU a pause costs.
class MillisecondTimerEvents final : public WindowEvents {
public:
    void processPending() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    void waitForEvents(Duration limit) override
    {
        QTimer wake;
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        wake.start(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(limit).count()));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
};

// The reply wait as the program had it before, in QSerialPort's own wait on a
// line that stays silent: the baseline for the CPU a reply wait costs.
class MillisecondReplyWait {
public:
    explicit MillisecondReplyWait(const std::string& device)
    {
        port.setPortName(QString::fromStdString(device));
        port.setBaudRate(QSerialPort::Baud19200);
        if (!port.open(QIODevice::ReadWrite))
            throw std::runtime_error("cannot open " + device + " for the baseline reply wait");
    }
    void operator()()
    {
        port.waitForReadyRead(1000);
        port.clearError();
    }

private:
    QSerialPort port;
};

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
    // One wake-up costs 0.1 to 1 ms of CPU here, as the host lets it; a
    // block's ratio is that of medians of five waits.
    const auto cpuRows = [&](const std::string& wait, const CpuUse& use, const std::vector<double>& ratios) {
        const Stats r = Stats::of(ratios);
        rows.push_back({"CPU of " + wait + ", per wait (ms per s)", spread(Stats::of(use.samples)), "", true});
        rows.push_back({"CPU of " + wait + " / baseline, per block", spread(r), "<= 1.1 in every block", r.max <= 1.1});
    };
    rows.push_back({"CPU of Tempo 1.0 woken by Qt's millisecond timer, per wait (ms per s)",
                    spread(Stats::of(baselineCpu.samples)), "baseline", true});
    cpuRows("Tempo 1.0", pauseCpu, pauseCpuRatios);
    rows.push_back({"CPU of QSerialPort's own 1 s wait with no reply, per wait (ms per s)",
                    spread(Stats::of(baselineReplyCpu.samples)), "baseline", true});
    cpuRows("the reply wait with no reply", link.timed.replyWaits, replyWaitCpuRatios);
    return rows;
}

pid_t spawn(std::vector<std::string> args, const std::vector<std::string>& extraEnv = {}, int* out = nullptr)
{
    std::vector<char*> argv, envp;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env(extraEnv);
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeFds[2];
    if (out) {
        if (pipe(pipeFds) != 0)
            return -1;
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (out) {
        close(pipeFds[1]);
        *out = pipeFds[0];
    }
    return pid;
}

// A simulated dispenser on a pseudo-terminal, for the whole dispense
// sequence. It shares the program's core; a dispenser works beside it.
std::unique_ptr<SimRig> simulatedDispenser(const std::vector<std::string>& options)
{
    auto sim = std::make_unique<SimRig>(SIM_PROGRAM, options, "/dev/null");
    const sched_param none{};
    sched_setscheduler(sim->pid(), SCHED_IDLE, &none);
    return sim;
}

std::vector<Row> wholeDispense()
{
    // On a virtual machine a wake-up sent to the other core can stall both
    // cores until their next timer tick: 2.9 ms here, in about one
    // pseudo-terminal write of ten, which a desk's serial port never costs the
    // program. The program, the simulator it starts and the kernel's work
    // that hands bytes across share the first core.
    const ThreadOnCore onFirst(0);
    const KernelWorkOnCore withTheProgram(0);
    std::vector<double> totals, beyond;
    {
        const auto ready = simulatedDispenser({"--reply-delay", "0", "--cardout-busy", "0", "--cards", "1000"});
        TimedLink link(ready->link());
        for (int i = 0; i < 6; ++i) {
            link.timed.replies = {};
            const auto start = Steady::now();
            link.liaison.DistribueCarte();
            const double total = ms(Steady::now() - start);
            totals.push_back(total);
            beyond.push_back(total - 1500 - ms(link.timed.replies));
        }
    }
    // Twenty reply waits of just over a second and twenty-one pauses. The
    // host stalls for 10 to 27 ms about once in four runs, and has slower
    // spells of a minute: the median of five attempts is the program's.
    constexpr double NoReplyNominal = 24900;
    std::vector<double> noReply, writing, waitsBeyond, opening;
    {
        const auto silent = simulatedDispenser({"--fault", "silent"});
        TimedLink link(silent->link());
        for (int i = 0; i < 5; ++i) {
            link.timed.writing = link.timed.waitsBeyond = link.timed.opening = {};
            const auto start = Steady::now();
            link.liaison.DistribueCarte();
            noReply.push_back(ms(Steady::now() - start) - NoReplyNominal);
            writing.push_back(ms(link.timed.writing));
            waitsBeyond.push_back(ms(link.timed.waitsBeyond));
            opening.push_back(ms(link.timed.opening));
        }
    }
    const Stats t = measured(totals, "dispense on a Ready dispenser"), b = Stats::of(beyond),
                n = measured(noReply, "dispense with no reply"), w = Stats::of(writing), r = Stats::of(waitsBeyond),
                o = Stats::of(opening);
    return {
        {"dispense on a Ready dispenser (ms)", format("median %.1f, max %.1f", t.median, t.max), "1500 + reply times",
         true},
        {"dispense beyond 1.5 s and the two reply times (ms)", format("median %.2f, max %.2f", b.median, b.max),
         "median < 20", b.median < 20},
        {"dispense with no reply, beyond the nominal 24.90 s (ms), 5 attempts",
         format("median %.2f, range %.2f to %.2f", n.median, n.min, n.max), "never below 0, median < 5",
         n.min >= 0 && n.median < 5},
        {"of which: writing the 20 requests, 20 reply waits beyond 1 s, opening and closing the port (ms, median)",
         format("%.2f, %.2f, %.2f", w.median, r.median, o.median), "", true},
    };
}

std::vector<Row> startup()
{
    std::vector<double> shown, rss;
    for (int i = 0; i < 10; ++i) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        int out = -1;
        const pid_t child = spawn({STARTUP_PROGRAM, format("%.3f", now.tv_sec * 1e3 + now.tv_nsec / 1e6)},
                                  {"QT_QPA_PLATFORM=offscreen"}, &out);
        char line[128] = {};
        const ssize_t n = read(out, line, sizeof line - 1);
        close(out);
        waitpid(child, nullptr, 0);
        double msShown = 0, kb = 0;
        if (n > 0 && std::sscanf(line, "%lf %lf", &msShown, &kb) == 2) {
            shown.push_back(msShown);
            rss.push_back(kb / 1024);
        }
    }
    const Stats s = measured(shown, "start-up"), r = measured(rss, "resident memory");
    return {
        {"start-up to the window shown, offscreen (ms)",
         format("median %.1f, p90 %.1f, max %.1f", s.median, s.p90, s.max), "< 300", s.max < 300},
        {"resident memory of the idle window (MB)", format("median %.1f, max %.1f", r.median, r.max), "< 40",
         r.max < 40},
    };
}

} // namespace

int main(int argc, char** argv)
{
    // Some machines page out what has not been touched for a while even
    // without memory pressure (DAMON's proactive reclaim, seen here after 60
    // s): the code of a port opening, run once per 25-second attempt, then
    // comes back from disk in milliseconds. A desk keeps it, and so does the
    // benchmark: every page it touches stays in memory.
    if (mlockall(MCL_CURRENT | MCL_FUTURE | MCL_ONFAULT) != 0)
        std::perror("cvd_bench: memory not locked, idle pages may be paged out meanwhile");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // Names on the command line measure only those parts.
    const std::vector<std::pair<QString, std::vector<Row> (*)()>> parts{
        {"latency", replyLatency}, {"waits", waits}, {"dispense", wholeDispense}, {"startup", startup}};
    const QStringList chosen = app.arguments().mid(1);
    std::vector<Row> rows;
    try {
        for (const auto& [name, part] : parts) {
            if (!chosen.isEmpty() && !chosen.contains(name))
                continue;
            auto some = part();
            rows.insert(rows.end(), some.begin(), some.end());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "A measurement failed: %s\n", e.what());
        return 2;
    }
    std::printf("| figure | measured | goal | met |\n|---|---|---|---|\n");
    int unmet = 0;
    for (const Row& row : rows) {
        std::printf("| %s | %s | %s | %s |\n", row.figure.c_str(), row.measured.c_str(), row.goal.c_str(),
                    row.met ? "yes" : "**no**");
        unmet += row.met ? 0 : 1;
    }
    // Every figure was measured; the table tells which goals were met.
    if (unmet > 0)
        std::fprintf(stderr, "%d goal(s) not met\n", unmet);
    return 0;
}
