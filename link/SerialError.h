#pragma once

#include <stdexcept>
#include <string>

// A failure of the serial control. Its text is meant for the operator: it
// names the device and says what went wrong.
class SerialError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
