#pragma once

#include "DeadlineTimer.h"

#include <QWinEventNotifier>

// Wakes Qt's event dispatcher when the deadline timer is signalled.
class DeadlineNotifier : public QWinEventNotifier {
public:
    explicit DeadlineNotifier(const DeadlineTimer& timer)
        : QWinEventNotifier(timer.handle())
    {}
};
