#include "FakeWindowEvents.h"

void FakeWindowEvents::processPending()
{
    ++processed;
    while (!scheduled.empty() && scheduled.begin()->first <= clock.now()) {
        auto action = std::move(scheduled.begin()->second);
        scheduled.erase(scheduled.begin());
        action();
    }
    if (onProcess)
        onProcess();
}

void FakeWindowEvents::waitForEvents(Duration limit)
{
    const Duration until = clock.now() + limit;
    if (!scheduled.empty() && scheduled.begin()->first <= until)
        clock.advanceTo(scheduled.begin()->first);
    else
        clock.advanceTo(until);
    processPending();
}
