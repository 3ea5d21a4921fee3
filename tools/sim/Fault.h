#pragma once

#include <chrono>
#include <string>
#include <vector>

// How the simulated dispenser spoils its replies, for tests.
struct Fault {
    enum class Kind { None, Silent, Late, OneByte, ExtraBytes, Garbage, Split };
    Kind kind = Kind::None;
    std::chrono::milliseconds delay{0}; // for Late and Split

    struct Chunk {
        std::chrono::milliseconds after;
        std::string bytes;
    };

    // The chunks that go on the wire for `reply`, sent `replyDelay` after the request.
    std::vector<Chunk> shape(const std::string& reply, std::chrono::milliseconds replyDelay) const;

    // "silent", "late:1500", "one-byte", "extra-bytes", "garbage", "split:200".
    static bool parse(const std::string& text, Fault& fault);
};

// Every time option of the simulator: whole milliseconds, 0 to one hour, so
// that sums of them stay far from what a clock or a poll time-out can hold.
namespace TimeOption {
constexpr long MaxMs = 3'600'000;
bool parse(const char* text, long& ms);
} // namespace TimeOption
