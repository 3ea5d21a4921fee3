#pragma once

#include <QSocketNotifier>

#include <functional>

// Notices that the far end of a serial line went away (a pseudo-terminal's
// master closed, a USB adapter pulled) from the descriptor itself, while
// window events run and while nothing reads the line.
//
// Qt's serial port says so differently from one Qt version to the next, and
// on some not at all while its read notifier fires without end on the dead
// descriptor. The watch asks the kernel instead: an epoll set holds the
// line's descriptor, edge-triggered, and a notifier on the set wakes the
// event loop once for each change of the line, never for bytes that merely
// stay waiting. The watch reads nothing from the line.
class HangUpWatch {
public:
    explicit HangUpWatch(std::function<void()> onHangUp);
    ~HangUpWatch();
    HangUpWatch(const HangUpWatch&) = delete;
    HangUpWatch& operator=(const HangUpWatch&) = delete;

    // Starts watching an open descriptor; stop() before it is closed. False,
    // with errno set, when the system refuses to watch it.
    bool watch(int descriptor);
    void stop();
    // Looks at the line now, without waiting; calls onHangUp if it is gone.
    void check();

private:
    int set = -1;
    int watched = -1;
    QSocketNotifier notifier;
    std::function<void()> onHangUp;
};
