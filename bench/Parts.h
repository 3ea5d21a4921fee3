#pragma once

#include "Stats.h"

#include <vector>

// The parts of the benchmark, each a few rows of the report.

// Reply latency of the program's exchange against a bare termios one.
std::vector<Row> replyLatency();
// Lateness and CPU of every pause and of the reply wait with no reply.
std::vector<Row> waits();
// Whole dispenses on simulated dispensers: on Ready, and with no reply.
std::vector<Row> wholeDispense();
// Start-up to the window shown, and the idle window's memory.
std::vector<Row> startup();
