#pragma once

// How far into the dispense sequence the runs of the fuzz target went, so
// that a driver of random scripts can tell that they reach both ends.
struct Reached {
    int attempts = 0;
    int cardOuts = 0;
    int recoveries = 0;
};
extern Reached reached;
