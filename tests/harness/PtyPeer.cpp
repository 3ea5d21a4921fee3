#include "PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

PtyPeer::PtyPeer(Answer answer)
    : answer(std::move(answer))
{
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath = name;
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    // The slave stays open here so that the master sees no hang-up between
    // the program's openings; the peer never reads from it.
    thread = std::thread([this] { serve(); });
}

PtyPeer::~PtyPeer()
{
    stopping = true;
    thread.join();
    if (master >= 0)
        close(master);
    close(slave);
}

void PtyPeer::hangUp()
{
    stopping = true;
    thread.join();
    close(master);
    master = -1;
    thread = std::thread([] {});
}

std::vector<PtyPeer::Received> PtyPeer::received()
{
    std::lock_guard<std::mutex> guard(lock);
    return log;
}

void PtyPeer::serve()
{
    std::string pending;
    while (!stopping) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN))
            continue;
        char buffer[256];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        const std::string bytes(buffer, static_cast<std::size_t>(n));
        {
            std::lock_guard<std::mutex> guard(lock);
            log.push_back({std::chrono::steady_clock::now(), bytes});
        }
        pending += bytes;
        while (pending.size() >= 2) {
            const std::string request = pending.substr(0, 2);
            pending.erase(0, 2);
            const auto start = std::chrono::steady_clock::now();
            for (const Part& part : answer(request)) {
                std::this_thread::sleep_until(start + part.after);
                if (write(master, part.bytes.data(), part.bytes.size()) < 0)
                    return;
            }
        }
    }
}
