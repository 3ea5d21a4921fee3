// A site's own automaton library, for the package tests: it writes each call
// to a file (/tmp/site-library-calls; C:\site-library-calls on Windows), so
// the test sees which library was loaded.
#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#define SITE_EXPORT extern "C" __declspec(dllexport)
#define CALLS_LOG "C:/site-library-calls"
#else
#define SITE_EXPORT extern "C" __attribute__((visibility("default")))
#define CALLS_LOG "/tmp/site-library-calls"
#endif

namespace {
void logCall(const char* call)
{
    if (std::FILE* log = std::fopen(CALLS_LOG, "ab")) {
        std::fprintf(log, "%s\n", call);
        std::fclose(log);
    }
}
} // namespace

SITE_EXPORT void init_grafcet()
{
    logCall("init_grafcet");
}
SITE_EXPORT std::int32_t VerifCardOut(std::int32_t)
{
    logCall("VerifCardOut");
    return 0;
}
