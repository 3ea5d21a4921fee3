#pragma once

#include "Types.h"

#include <cstdint>
#include <string>

// The serial-communications control of the main window. These are the only
// operations the link performs on it. Bytes travel as the characters of a
// std::string, one byte per character.
//
// Every failure of the control (no such device, busy, hang-up) is thrown as a
// SerialError.
class MSComm {
public:
    virtual ~MSComm() = default;

    virtual void setCommPort(std::int16_t port) = 0;
    virtual void setSettings(const std::string& settings) = 0;
    virtual void setInputLen(std::int16_t length) = 0;
    virtual void setInputMode(std::int16_t mode) = 0;
    virtual bool portOpen() const = 0;
    virtual void setPortOpen(bool open) = 0;

    // Hands the bytes to the system's driver, which sends them on; it waits
    // only while the driver's output buffer is full.
    virtual void output(const std::string& bytes) = 0;
    // Bytes received and not yet read.
    virtual std::int16_t inBufferCount() = 0;
    // Everything waiting, removed from the input.
    virtual std::string input() = 0;

    // Blocks until new bytes arrive or `limit` has passed, whichever is first.
    // It processes no window events and costs no CPU while it waits.
    virtual void waitForInput(Duration limit) = 0;
};
