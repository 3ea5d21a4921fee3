// A site's own automaton library, for the package test: it writes each call
// to /tmp/site-library-calls, so the test sees which library was loaded.
#include <cstdint>
#include <cstdio>

namespace {
void logCall(const char* call)
{
    if (std::FILE* log = std::fopen("/tmp/site-library-calls", "a")) {
        std::fprintf(log, "%s\n", call);
        std::fclose(log);
    }
}
} // namespace

extern "C" __attribute__((visibility("default"))) void init_grafcet()
{
    logCall("init_grafcet");
}
extern "C" __attribute__((visibility("default"))) std::int32_t VerifCardOut(std::int32_t)
{
    logCall("VerifCardOut");
    return 0;
}
