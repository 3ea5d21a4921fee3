// A stand-in for the site's automaton library, for builds and tests without
// it. It answers every card-out check with -2, so a dispense ends after its
// first attempt.

#include <cstdint>

namespace {
bool prepared = false;
}

extern "C" {

__attribute__((visibility("default"))) void init_grafcet()
{
    prepared = true;
}

__attribute__((visibility("default"))) std::int32_t VerifCardOut(std::int32_t)
{
    return prepared ? -2 : -1;
}
}
