#pragma once

#include <cstdint>
#include <stdexcept>

// The site's automaton library, as the program calls it.
class Automate {
public:
    virtual ~Automate() = default;

    virtual void init_grafcet() = 0;
    virtual std::int32_t VerifCardOut(std::int32_t value) = 0;
};

// A failure of the automaton library: it cannot be loaded, or it failed a
// call. The text names the file and the cause.
class AutomateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
