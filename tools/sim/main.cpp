// cvd-sim: a simulated card dispenser on a pseudo-terminal.

#include "Dispenser.h"
#include "Options.h"
#include "WireTrace.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

struct Outgoing {
    Clock::time_point due;
    std::string bytes;
    std::string meaning;
};

class Simulator {
public:
    Simulator(const Options& options, std::FILE* trace)
        : options(options),
          dispenser(options.dispenser),
          trace(trace),
          start(Clock::now())
    {}

    int run();

private:
    bool openTerminal();
    void resetTerminal();
    void received(const std::string& bytes);
    void sendDue();
    int pollTimeout() const;
    void line(wire::Direction direction, const std::string& bytes, const std::string& meaning);
    void note(const std::string& what) { line(wire::Direction::Event, "", what); }

    const Options& options;
    Dispenser dispenser;
    std::FILE* trace;
    Clock::time_point start;
    int master = -1;
    int slave = -1;
    std::string slavePath;
    termios pristine{};
    std::string pending;
    std::deque<Outgoing> outgoing;
};

void Simulator::line(wire::Direction direction, const std::string& bytes, const std::string& meaning)
{
    std::fputs(wire::line({Clock::now() - start, direction, bytes, meaning}).c_str(), trace);
    std::fflush(trace);
}

// A client that was killed leaves the terminal in its own settings, and the
// next client's open fails when it finds nothing left to change: put back the
// settings the terminal had before its first client.
void Simulator::resetTerminal()
{
    tcsetattr(slave, TCSANOW, &pristine);
}

bool Simulator::openTerminal()
{
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "cvd-sim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return false;
    }
    slavePath = name;
    tcgetattr(slave, &pristine);
    cfmakeraw(&pristine);
    resetTerminal();
    // Our own slave descriptor stays open, so the master never sees a hang-up
    // between the client's openings.
    struct stat existing {};
    if (lstat(options.link.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            std::fprintf(stderr, "cvd-sim: %s exists and is not a link; not replacing it\n", options.link.c_str());
            return false;
        }
        unlink(options.link.c_str());
    }
    if (symlink(slavePath.c_str(), options.link.c_str()) != 0) {
        std::fprintf(stderr, "cvd-sim: cannot make the link %s: %s\n", options.link.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

void Simulator::received(const std::string& bytes)
{
    pending += bytes;
    while (!pending.empty()) {
        if (pending[0] != 0x01) {
            line(wire::Direction::ToDispenser, pending.substr(0, 1), "stray byte, ignored");
            pending.erase(0, 1);
            continue;
        }
        if (pending.size() < 2)
            return;
        const std::string request = pending.substr(0, 2);
        pending.erase(0, 2);
        const auto now = Clock::now();
        const Dispenser::Answer answer = dispenser.answer(request, std::chrono::duration_cast<Ms>(now - start));
        line(wire::Direction::ToDispenser, request, answer.meaning.substr(0, answer.meaning.find(" ->")));
        bool first = true;
        for (const auto& chunk : options.fault.shape(answer.reply, options.replyDelay)) {
            outgoing.push_back({now + chunk.after, chunk.bytes, first ? answer.meaning : "(rest of the reply)"});
            first = false;
        }
        if (first)
            note("(no reply: " + answer.meaning + ")");
    }
}

void Simulator::sendDue()
{
    while (!outgoing.empty() && outgoing.front().due <= Clock::now()) {
        const Outgoing out = outgoing.front();
        outgoing.pop_front();
        if (write(master, out.bytes.data(), out.bytes.size()) < 0)
            std::fprintf(stderr, "cvd-sim: write failed: %s\n", std::strerror(errno));
        line(wire::Direction::FromDispenser, out.bytes, out.meaning);
    }
}

int Simulator::pollTimeout() const
{
    if (outgoing.empty())
        return -1;
    const auto left = std::chrono::ceil<Ms>(outgoing.front().due - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

int Simulator::run()
{
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    const int signals = signalfd(-1, &stops, SFD_CLOEXEC);
    if (signals < 0) {
        // Without it SIGTERM would stay blocked and never end the simulator.
        std::fprintf(stderr, "cvd-sim: cannot watch for SIGINT and SIGTERM: %s\n", std::strerror(errno));
        sigprocmask(SIG_UNBLOCK, &stops, nullptr);
        return 1;
    }

    if (!openTerminal())
        return 1;
    const int clients = inotify_init1(IN_CLOEXEC);
    if (clients < 0 || inotify_add_watch(clients, slavePath.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        std::fprintf(stderr, "cvd-sim: cannot watch %s for clients: %s\n", slavePath.c_str(), std::strerror(errno));
        return 1;
    }

    std::fprintf(stderr, "cvd-sim: dispenser on %s, linked at %s, %d cards, %s\n", slavePath.c_str(),
                 options.link.c_str(), dispenser.cards(), Dispenser::nameOf(dispenser.state(Ms(0))).c_str());
    note("started");

    for (;;) {
        pollfd fds[3] = {{master, POLLIN, 0}, {clients, POLLIN, 0}, {signals, POLLIN, 0}};
        if (poll(fds, 3, pollTimeout()) < 0 && errno != EINTR)
            break;
        if (fds[2].revents & POLLIN)
            break;
        if (fds[1].revents & POLLIN) {
            alignas(inotify_event) char events[4096];
            const ssize_t n = read(clients, events, sizeof events);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                if (event->mask & IN_OPEN) {
                    note("client opened the port");
                } else if (event->mask & IN_CLOSE) {
                    resetTerminal();
                    note("client closed the port");
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        if (fds[0].revents & POLLIN) {
            char buffer[512];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0)
                received(std::string(buffer, static_cast<std::size_t>(n)));
        }
        sendDue();
    }

    note("stopped");
    unlink(options.link.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    bool help = false;
    if (!parseOptions(argc, argv, options, error, help)) {
        std::fprintf(stderr, "cvd-sim: %s\n\n%s", error.c_str(), Usage);
        return 2;
    }
    if (help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    std::FILE* trace = stdout;
    if (!options.traceFile.empty() && !(trace = std::fopen(options.traceFile.c_str(), "w"))) {
        std::fprintf(stderr, "cvd-sim: cannot write the trace to %s: %s\n", options.traceFile.c_str(),
                     std::strerror(errno));
        return 1;
    }
    return Simulator(options, trace).run();
}
