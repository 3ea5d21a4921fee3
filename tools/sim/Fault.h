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
