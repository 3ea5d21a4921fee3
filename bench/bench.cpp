// Measures the program's waits side by side with a bare termios exchange on
// the same kind of pseudo-terminal, and prints a Markdown table of figures,
// goals and verdicts.

#include "Clock.h"
#include "FakeMainWindow.h"
#include "LiaisonCVD.h"
#include "ProcessStats.h"
#include "Protocol.h"
#include "QtWindowEvents.h"
#include "RealPlatform.h"
#include "SerialPortControl.h"
#include "Stats.h"

#include <QApplication>
#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

extern char** environ;

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

double ms(Steady::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// A dispenser on a pseudo-terminal that answers Ready at once (or never) and
// notes the moment it wrote each reply.
class Peer {
public:
    explicit Peer(bool silent)
        : silent(silent)
    {
        char name[128];
        openpty(&master, &slave, name, nullptr, nullptr);
        path = name;
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        thread = std::thread([this] { serve(); });
    }
    ~Peer()
    {
        stop = true;
        thread.join();
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
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
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
    std::atomic<bool> stop{false};
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

// Notes when each request was written and when its reply was read.
class TimedControl final : public MSComm {
public:
    explicit TimedControl(MSComm& inner)
        : inner(inner)
    {}
    void setCommPort(std::int16_t p) override { inner.setCommPort(p); }
    void setSettings(const std::string& s) override { inner.setSettings(s); }
    void setInputLen(std::int16_t l) override { inner.setInputLen(l); }
    void setInputMode(std::int16_t m) override { inner.setInputMode(m); }
    bool portOpen() const override { return inner.portOpen(); }
    void setPortOpen(bool o) override { inner.setPortOpen(o); }
    void output(const std::string& b) override
    {
        sent = Steady::now();
        inner.output(b);
    }
    std::int16_t inBufferCount() override { return inner.inBufferCount(); }
    std::string input() override
    {
        std::string bytes = inner.input();
        if (sent != Steady::time_point{})
            replies += Steady::now() - sent;
        sent = {};
        return bytes;
    }
    void waitForInput(Duration limit) override { inner.waitForInput(limit); }

    Steady::duration replies{0};

private:
    MSComm& inner;
    Steady::time_point sent{};
};

std::vector<Row> replyLatency()
{
    Peer linkPeer(false), barePeer(false);
    RealLink link(linkPeer.path);
    BareTermios bare(barePeer.path);
    std::vector<double> linkUs, bareUs;
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
    // Side by side, taking turns at going first; the first rounds warm up.
    for (int i = 0; i < 2100; ++i) {
        const double first = i % 2 ? measureLink() : measureBare();
        const double second = i % 2 ? measureBare() : measureLink();
        if (i < 100 || first < 0 || second < 0)
            continue;
        linkUs.push_back(i % 2 ? first : second);
        bareUs.push_back(i % 2 ? second : first);
    }
    const Stats l = Stats::of(linkUs), b = Stats::of(bareUs);
    const double ratio = l.median / b.median;
    return {
        {"reply latency, program (µs)",
         format("median %.0f, p90 %.0f, p99 %.0f, max %.0f", l.median, l.p90, l.p99, l.max), "p99 < 1000",
         l.p99 < 1000},
        {"reply latency, bare termios (µs)",
         format("median %.0f, p90 %.0f, p99 %.0f, max %.0f", b.median, b.p90, b.p99, b.max), "baseline", true},
        {"reply latency, program / bare (median)", format("%.2f", ratio), "<= 1.2", ratio <= 1.2},
    };
}

std::vector<Row> waitingCpu()
{
    Peer silent(true);
    RealLink link(silent.path);
    std::vector<double> waitCpu, tempoCpu;
    for (int i = 0; i < 3; ++i) {
        const double before = cpuSeconds(RUSAGE_THREAD) * 1000;
        const auto start = Steady::now();
        link.liaison.CVDStatut();
        waitCpu.push_back((cpuSeconds(RUSAGE_THREAD) * 1000 - before) / (ms(Steady::now() - start) / 1000));
        const double beforeTempo = cpuSeconds(RUSAGE_THREAD) * 1000;
        link.liaison.Tempo(1.0);
        tempoCpu.push_back(cpuSeconds(RUSAGE_THREAD) * 1000 - beforeTempo);
    }
    const Stats w = Stats::of(waitCpu), t = Stats::of(tempoCpu);
    return {
        {"CPU of a 1 s reply wait with no reply (ms per s)", format("median %.2f, max %.2f", w.median, w.max), "< 10",
         w.max < 10},
        {"CPU of Tempo 1.0 (ms per s)", format("median %.2f, max %.2f", t.median, t.max), "< 10", t.max < 10},
    };
}

std::vector<Row> tempoAccuracy()
{
    Peer silent(true);
    RealLink link(silent.path);
    std::vector<Row> rows;
    for (double seconds : {0.1, 0.2, 0.3, 0.5, 1.0}) {
        std::vector<double> late;
        double earliest = 1e9;
        for (int i = 0; i < 10; ++i) {
            const auto start = Steady::now();
            link.liaison.Tempo(seconds);
            const double lateness = ms(Steady::now() - start) - seconds * 1000;
            earliest = std::min(earliest, lateness);
            late.push_back(lateness);
        }
        const Stats s = Stats::of(late);
        rows.push_back({format("Tempo %.1f s, lateness (ms)", seconds),
                        format("median %.3f, p90 %.3f, max %.3f, min %.3f", s.median, s.p90, s.max, earliest),
                        "min >= 0, median < 2", earliest >= 0 && s.median < 2});
    }
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

std::vector<Row> wholeDispense()
{
    QTemporaryDir dir;
    const std::string link = dir.filePath("port").toStdString();
    const pid_t sim = spawn({SIM_PROGRAM, "--link", link, "--trace", "/dev/null", "--reply-delay", "0",
                             "--cardout-busy", "0", "--cards", "1000"});
    for (int i = 0; i < 200 && access(link.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(10ms);

    SerialPortControl control({QString::fromStdString(link)});
    TimedControl timed(control);
    FakeMainWindow window(timed);
    SteadyClock clock;
    QtWindowEvents events;
    LiaisonCVD liaison(window, clock, events);
    liaison.NumPort = 1;
    std::vector<double> totals, beyond;
    for (int i = 0; i < 6; ++i) {
        timed.replies = {};
        const auto start = Steady::now();
        liaison.DistribueCarte();
        const double total = ms(Steady::now() - start);
        totals.push_back(total);
        beyond.push_back(total - 1500 - ms(timed.replies));
    }
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    const Stats t = Stats::of(totals), b = Stats::of(beyond);
    return {
        {"dispense on a Ready dispenser (ms)", format("median %.1f, max %.1f", t.median, t.max), "1500 + reply times",
         true},
        {"dispense beyond 1.5 s and the two reply times (ms)", format("median %.2f, max %.2f", b.median, b.max), "< 20",
         b.max < 20},
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
    const Stats s = Stats::of(shown), r = Stats::of(rss);
    return {
        {"start-up to the window shown, offscreen (ms)",
         format("median %.1f, p90 %.1f, max %.1f", s.median, s.p90, s.max), "< 300", s.count > 0 && s.max < 300},
        {"resident memory of the idle window (MB)", format("median %.1f, max %.1f", r.median, r.max), "< 40",
         r.count > 0 && r.max < 40},
    };
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::vector<Row> rows;
    for (auto part : {replyLatency, waitingCpu, tempoAccuracy, wholeDispense, startup}) {
        auto some = part();
        rows.insert(rows.end(), some.begin(), some.end());
    }
    std::printf("| figure | measured | goal | met |\n|---|---|---|---|\n");
    bool all = true;
    for (const Row& row : rows) {
        std::printf("| %s | %s | %s | %s |\n", row.figure.c_str(), row.measured.c_str(), row.goal.c_str(),
                    row.met ? "yes" : "**no**");
        all = all && row.met;
    }
    return all ? 0 : 1;
}
