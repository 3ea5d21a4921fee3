// A library that must never be loaded: loading it leaves a mark in the
// current directory.
#include <cstdint>
#include <cstdio>

__attribute__((constructor)) static void markLoaded()
{
    if (std::FILE* mark = std::fopen("decoy-was-loaded", "w"))
        std::fclose(mark);
}
extern "C" __attribute__((visibility("default"))) void init_grafcet() {}
extern "C" __attribute__((visibility("default"))) std::int32_t VerifCardOut(std::int32_t)
{
    return -2;
}
