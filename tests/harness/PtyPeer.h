#pragma once

#include "FakeMSComm.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A dispenser on the far side of a pseudo-terminal: the program opens
// `path()`, the peer answers on the master side from its own thread.
class PtyPeer {
public:
    struct Received {
        std::chrono::steady_clock::time_point at;
        std::string bytes;
    };
    using Part = Chunk;
    // What to answer to a two-byte request.
    using Answer = Responder;

    explicit PtyPeer(Answer answer);
    ~PtyPeer();

    const std::string& path() const { return slavePath; }
    std::vector<Received> received();
    void hangUp();

private:
    void serve();

    Answer answer;
    int master = -1;
    int slave = -1;
    std::string slavePath;
    std::atomic<bool> stopping{false};
    std::mutex lock;
    std::vector<Received> log;
    std::thread thread;
};
