#pragma once

#include "LinkFixture.h"

#include <ostream>
#include <vector>

// Replies as a dispenser may send them, with what the reply wait makes of
// each. The unit tests run them on the virtual clock (the exact time of the
// read and the bytes it took); the integration tests run them over a
// pseudo-terminal (the code, and the time within a strict lower and a
// generous upper bound).
struct ReplyShape {
    const char* name;
    Reply reply;
    CodeReponse code;
    Duration readAt;  // after the request was written
    const char* read; // what the read took, in hex
    bool overAPty;    // false where a byte must fall on a tick of the bound
};

inline std::ostream& operator<<(std::ostream& out, const ReplyShape& s)
{
    return out << s.name;
}

inline std::vector<ReplyShape> replyShapes(bool overAPtyOnly)
{
    const std::vector<ReplyShape> all{
        {"exact", replyCode(Protocol::Busy, 20ms), Protocol::Busy, 20ms, "01 24", true},
        {"silence", noReply(), 0, NoReplyWait, "", true},
        {"oneByteThenSilence", {{10ms, "\x01"}}, 0, NoReplyWait, "01", true},
        {"oneCharacterReplyIsNoReply", {{10ms, "#"}}, 0, NoReplyWait, "23", true},
        {"garbageBefore", {{10ms, "\xff\x01\x23"}}, 0, 10ms, "ff 01 23", true},
        {"garbageAfter", {{10ms, "\x01\x25\x99\x98"}}, Protocol::Error, 10ms, "01 25 99 98", true},
        {"drippingWithinTheBound", {{10ms, "\x01"}, {300ms, "\x22"}}, Protocol::Empty, 300ms, "01 22", true},
        {"readWhileStillArriving", {{10ms, "\x01\x50"}, {20ms, "\x77"}}, Protocol::Ack, 10ms, "01 50", true},
        {"highBitCode", {{5ms, "\x01\xa3"}}, 0, 5ms, "01 a3", true},
        {"highBitFirstByte", {{5ms, "\x81\x24"}}, Protocol::Busy, 5ms, "81 24", true},
        {"drippingAcrossTheBound", {{950ms, "\x01"}, {1100ms, "\x25"}}, 0, NoReplyWait, "01", true},
        {"afterTheBound", {{1200ms, "\x01\x23"}}, 0, NoReplyWait, "", true},
        {"secondByteAtTheBound", {{10ms, "\x01"}, {1s, "\x23"}}, Protocol::Ready, 1s, "01 23", false},
        {"firstByteAtTheBoundSecondOneTickLater",
         {{1s, "\x01"}, {NoReplyWait, "\x23"}},
         Protocol::Ready,
         NoReplyWait,
         "01 23",
         false},
        {"secondByteJustAfter", {{10ms, "\x01"}, {NoReplyWait + Duration{1}, "\x23"}}, 0, NoReplyWait, "01", false},
    };
    std::vector<ReplyShape> chosen;
    for (const ReplyShape& s : all)
        if (s.overAPty || !overAPtyOnly)
            chosen.push_back(s);
    return chosen;
}
