#include "StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

namespace {

volatile std::sig_atomic_t caughtSignal = 0;
int wakeWrite = -1;

extern "C" void onStopSignal(int signal)
{
    const int interrupted = errno;
    caughtSignal = signal;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(wakeWrite, &byte, 1);
    errno = interrupted;
}

} // namespace

Interrupted::Interrupted(int signal)
    : std::runtime_error("interrupted by signal " + std::to_string(signal)),
      signal(signal)
{}

StopSignals::StopSignals()
{
    if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot make a pipe for the stop signals");
    wakeWrite = pipe[1];
    wake = new QSocketNotifier(pipe[0], QSocketNotifier::Read);
    QObject::connect(wake, &QSocketNotifier::activated, [fd = pipe[0]] {
        char drain[16];
        while (::read(fd, drain, sizeof drain) > 0) {
        }
    });
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    // System calls that the signal interrupts go on (an opening gives no
    // EINTR error); the pipe wakes the waits, and the steps look at the flag.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

StopSignals::~StopSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    delete wake;
    ::close(pipe[0]);
    ::close(pipe[1]);
    wakeWrite = -1;
}

int StopSignals::caught()
{
    return caughtSignal;
}

void StopSignals::throwIfStopped()
{
    if (caughtSignal != 0)
        throw Interrupted(caughtSignal);
}
