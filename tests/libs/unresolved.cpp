// A library whose card-out check needs a symbol that no library defines.
#include <cstdint>

extern "C" std::int32_t grafcet_symbol_nobody_defines();

extern "C" __attribute__((visibility("default"))) void init_grafcet() {}
extern "C" __attribute__((visibility("default"))) std::int32_t VerifCardOut(std::int32_t value)
{
    return grafcet_symbol_nobody_defines() + value;
}
