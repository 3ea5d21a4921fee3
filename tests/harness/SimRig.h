#pragma once

#include "WireTrace.h"

#include <sys/types.h>

#include <string>
#include <vector>

// cvd-sim as a child process, reached through its link as the program reaches
// a port: started in a folder of its own, waited for until its link is there
// (at most 2 s), and stopped with SIGTERM at the end.
class SimRig {
public:
    // program: cvd-sim; trace: where its wire trace goes (its folder's
    // "trace" file when empty).
    explicit SimRig(const std::string& program, const std::vector<std::string>& options = {},
                    const std::string& trace = {});
    ~SimRig();
    SimRig(const SimRig&) = delete;
    SimRig& operator=(const SimRig&) = delete;

    bool linked() const;
    // Stops it and gives its wait status; at most once.
    int stop();
    std::string traceText() const;
    std::vector<wire::Record> records() const;

    pid_t pid() const { return child; }
    const std::string& link() const { return linkPath; }

private:
    std::string folder, linkPath, tracePath;
    pid_t child = -1;
};
