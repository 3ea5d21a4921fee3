#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// How a wire trace is written, by cvd-sim, cvd-probe and the tests' fake
// serial control alike: one line per frame or event,
//
//     2.9 > 01 37          status
//     8.3 < 01 23          Ready
//
// milliseconds since the start, the direction seen from the program ('>' to
// the dispenser, '<' from it, ' ' an event such as an opening), the bytes in
// hex, and their meaning. Only the writing is shared: each writer decodes the
// bytes with its own model of the dispenser.
namespace wire {

enum class Direction { ToDispenser, FromDispenser, Event };

struct Record {
    std::chrono::nanoseconds at{0};
    Direction direction = Direction::Event;
    std::string bytes;
    std::string meaning;
    // The port an opening concerns; 0 where the writer has no port number.
    std::int16_t port = 0;
};

// "01 37": two lower-case digits a byte, one space between.
std::string hex(const std::string& bytes);
// The line of a record, with its newline.
std::string line(const Record& record);
// A line back into its record (port 0); nothing for a line of another format.
std::optional<Record> parse(const std::string& line);

} // namespace wire
