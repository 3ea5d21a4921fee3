#pragma once

#include "MSComm.h"

// A serial control that hands every operation to another one. A control that
// watches some operations (cvd-probe's report, the benchmark's timing)
// derives from it and overrides only those.
class ForwardingComm : public MSComm {
public:
    explicit ForwardingComm(MSComm& inner)
        : inner(inner)
    {}

    void setCommPort(std::int16_t port) override { inner.setCommPort(port); }
    void setSettings(const std::string& settings) override { inner.setSettings(settings); }
    void setInputLen(std::int16_t length) override { inner.setInputLen(length); }
    void setInputMode(std::int16_t mode) override { inner.setInputMode(mode); }
    bool portOpen() const override { return inner.portOpen(); }
    void setPortOpen(bool open) override { inner.setPortOpen(open); }
    void output(const std::string& bytes) override { inner.output(bytes); }
    std::int16_t inBufferCount() override { return inner.inBufferCount(); }
    std::string input() override { return inner.input(); }
    void waitForInput(Duration limit) override { inner.waitForInput(limit); }

protected:
    MSComm& inner;
};
