#include "Protocol.h"

#include <gtest/gtest.h>

#include <set>

// Every value of the second byte: the six reply codes decode to themselves,
// everything else (0x00 and 0x80 up included) to 0.
TEST(DecodeReply, EverySecondByteValue)
{
    const std::set<int> codes{0x22, 0x23, 0x24, 0x25, 0x4B, 0x50};
    for (int value = 0; value <= 0xFF; ++value) {
        const std::string reply{'\x01', static_cast<char>(value)};
        const auto expected = static_cast<CodeReponse>(codes.count(value) ? value : 0);
        EXPECT_EQ(Protocol::decodeReply(reply), expected) << "second byte " << value;
    }
}

struct ReplyCase {
    std::string reply;
    CodeReponse code;
};

inline std::ostream& operator<<(std::ostream& out, const ReplyCase& c)
{
    return out << c.reply.size() << " bytes";
}

class DecodeReplyLength : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(DecodeReplyLength, OnlyTheSecondByteCounts)
{
    EXPECT_EQ(Protocol::decodeReply(GetParam().reply), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Lengths, DecodeReplyLength,
                         ::testing::Values(ReplyCase{"", 0}, ReplyCase{"#", 0}, ReplyCase{"\x01#", 0x23},
                                           ReplyCase{"\x01$\x01#", 0x24}, ReplyCase{"#P", 0x50},
                                           ReplyCase{std::string("\x01\0", 2), 0}, ReplyCase{"\x01\x41", 0},
                                           ReplyCase{"\x01\xa3", 0}, ReplyCase{std::string(300, 'K'), 0x4B}));
