// A stand-in for the site's automaton library, for builds and tests without
// it. It answers every card-out check with -2, so a dispense ends after its
// first attempt.

#include <cstdint>

#ifdef _WIN32
#define GRAFCET_EXPORT __declspec(dllexport)
#else
#define GRAFCET_EXPORT __attribute__((visibility("default")))
#endif

namespace {
bool prepared = false;
}

extern "C" {

GRAFCET_EXPORT void init_grafcet()
{
    prepared = true;
}

GRAFCET_EXPORT std::int32_t VerifCardOut(std::int32_t)
{
    return prepared ? -2 : -1;
}
}
