#pragma once

#include <cstdint>

// The site's automaton library, as the program calls it.
class Automate {
public:
    virtual ~Automate() = default;

    virtual void init_grafcet() = 0;
    virtual std::int32_t VerifCardOut(std::int32_t value) = 0;
};
