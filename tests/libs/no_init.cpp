// An automaton library that lacks init_grafcet.
#include <cstdint>
extern "C" __attribute__((visibility("default"))) std::int32_t VerifCardOut(std::int32_t)
{
    return -2;
}
