#include "Protocol.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

// Every value of the second byte: the six reply codes decode to themselves,
// everything else (0x00 and 0x80 up included) to 0. Only the second byte
// counts, whatever the length.
TEST(DecodeReply, EverySecondByteValue)
{
    for (const auto& [reply, code] : std::vector<std::pair<std::string, CodeReponse>>{
             {"", 0}, {"#", 0}, {"#P", 0x50}, {"\x01$\x01#", 0x24}, {std::string(300, 'K'), 0x4B}})
        EXPECT_EQ(Protocol::decodeReply(reply), code) << reply.size() << " bytes";
    const std::set<int> codes{0x22, 0x23, 0x24, 0x25, 0x4B, 0x50};
    for (int value = 0; value <= 0xFF; ++value) {
        const std::string reply{'\x01', static_cast<char>(value)};
        const auto expected = static_cast<CodeReponse>(codes.count(value) ? value : 0);
        EXPECT_EQ(Protocol::decodeReply(reply), expected) << "second byte " << value;
    }
}
