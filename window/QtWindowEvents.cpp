#include "QtWindowEvents.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <climits>

void QtWindowEvents::processPending()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Sleeps in the event dispatcher; the timer wakes it when nothing else does.
void QtWindowEvents::waitForEvents(Duration limit)
{
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(limit).count();
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(static_cast<int>(std::clamp<long long>(ms, 0, INT_MAX)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
