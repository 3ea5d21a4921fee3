#pragma once

#include "Dispenser.h"
#include "Fault.h"

#include <string>

struct Options {
    std::string link;
    std::string traceFile;
    Dispenser::Settings dispenser;
    std::chrono::milliseconds replyDelay{5};
    Fault fault;
};

// Reads the command line into `options`; on a mistake returns false with `error` set.
bool parseOptions(int argc, char** argv, Options& options, std::string& error, bool& help);
extern const char* const Usage;
