#include "QtWindowEvents.h"

#include <QCoreApplication>
#include <QEventLoop>

QtWindowEvents::QtWindowEvents()
{
    QObject::connect(&deadlineNotifier, &DeadlineNotifier::activated, [this] { lastStretch = !deadline.take(); });
}

void QtWindowEvents::processPending()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// The last stretch, a millisecond at most, is slept outside the
// dispatcher: that wake-up costs less and ends nearer the deadline, and a
// window event that comes meanwhile is run by the caller's next processing.
void QtWindowEvents::waitForEvents(Duration limit)
{
    deadline.start(limit);
    lastStretch = false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (lastStretch)
        deadline.sleepOut();
}
