#pragma once

#include <QSocketNotifier>

#include <stdexcept>

// Ctrl-C or SIGTERM arrived: no new request may go out.
class Interrupted : public std::runtime_error {
public:
    explicit Interrupted(int signal);
    const int signal;
};

// Catches SIGINT and SIGTERM for the life of the object. A signal wakes the
// event loop (a pause ends at once); the caller asks stopRequested() or
// throwIfStopped() between steps.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    static int caught();
    static void throwIfStopped();

private:
    int pipe[2] = {-1, -1};
    QSocketNotifier* wake = nullptr;
};
