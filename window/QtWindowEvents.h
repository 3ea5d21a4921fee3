#pragma once

#include "WindowEvents.h"

// Window events processed by Qt on the calling (window) thread.
class QtWindowEvents final : public WindowEvents {
public:
    void processPending() override;
    void waitForEvents(Duration limit) override;
};
