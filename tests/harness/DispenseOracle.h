#pragma once

#include "FakeMSComm.h"

#include <string>
#include <vector>

// One request and the reply code it read.
struct Exchange {
    char request; // 'S' status, 'R' reset, 'C' card-out
    Duration sent;
    Duration read;
    CodeReponse code;
};

// One dispense attempt as the wire saw it: from the opening to the closing.
struct Attempt {
    Duration opened{0};
    std::vector<Exchange> exchanges;
    bool closed = false;
    Duration closedAt{0};
};

std::vector<Attempt> attemptsOf(const FakeMSComm& comm);

// Checks an attempt against the dispense sequence: which request follows
// which reply, and the pause before each request. Returns the rules broken.
std::vector<std::string> checkAttempt(const Attempt& attempt);

// The request letters of an attempt, for messages: "SSSRSSC".
std::string lettersOf(const Attempt& attempt);
