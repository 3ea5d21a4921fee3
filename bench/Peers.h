#pragma once

#include "Cores.h"
#include "Measure.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

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

inline Steady::time_point replyTime(const Peer& peer)
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
