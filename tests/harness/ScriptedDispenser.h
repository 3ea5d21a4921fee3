#pragma once

#include "FakeMSComm.h"

#include <memory>
#include <string>

// A dispenser whose replies are read from a script of bytes, three a
// request: the kind of reply, a delay, a code. An exhausted script is silence.
//   kind % 6: 0 silence, 1 one byte, 2 exact reply, 3 long reply,
//             4 reply split in two, 5 reply after the one-second bound
Responder scriptedDispenser(std::string script);
