#include "HangUpWatch.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

int makeEpollSet()
{
    const int set = epoll_create1(EPOLL_CLOEXEC);
    if (set < 0)
        throw std::runtime_error(std::string("Cannot watch the serial line: ") + std::strerror(errno));
    return set;
}

} // namespace

HangUpWatch::HangUpWatch(std::function<void()> onHangUp)
    : set(makeEpollSet()),
      notifier(set, QSocketNotifier::Read),
      onHangUp(std::move(onHangUp))
{
    QObject::connect(&notifier, &QSocketNotifier::activated, [this] { check(); });
}

HangUpWatch::~HangUpWatch()
{
    notifier.setEnabled(false);
    ::close(set);
}

bool HangUpWatch::watch(int descriptor)
{
    stop();
    // EPOLLHUP and EPOLLERR are always reported; EPOLLIN is asked for only
    // because a hang-up of a real terminal wakes its readers as input.
    epoll_event event{};
    event.events = EPOLLIN | EPOLLET;
    event.data.fd = descriptor;
    if (epoll_ctl(set, EPOLL_CTL_ADD, descriptor, &event) != 0)
        return false;
    watched = descriptor;
    return true;
}

void HangUpWatch::stop()
{
    if (watched < 0)
        return;
    epoll_ctl(set, EPOLL_CTL_DEL, watched, nullptr);
    watched = -1;
}

void HangUpWatch::check()
{
    epoll_event event{};
    while (watched >= 0 && epoll_wait(set, &event, 1, 0) == 1) {
        if (event.events & (EPOLLHUP | EPOLLERR)) {
            stop();
            onHangUp();
            return;
        }
    }
}
