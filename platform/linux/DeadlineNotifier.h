#pragma once

#include "DeadlineTimer.h"

#include <QSocketNotifier>

// Wakes Qt's event dispatcher when the deadline timer's descriptor becomes readable.
class DeadlineNotifier : public QSocketNotifier {
public:
    explicit DeadlineNotifier(const DeadlineTimer& timer)
        : QSocketNotifier(timer.descriptor(), QSocketNotifier::Read)
    {}
};
