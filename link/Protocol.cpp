#include "Protocol.h"

namespace Protocol {

std::string request(char command)
{
    return std::string{RequestStart, command};
}

CodeReponse decodeReply(const std::string& reply)
{
    if (reply.size() < 2)
        return 0;
    const auto code = static_cast<CodeReponse>(static_cast<unsigned char>(reply[1]));
    switch (code) {
    case Empty:
    case Ready:
    case Busy:
    case Error:
    case Nack:
    case Ack: return code;
    default: return 0;
    }
}

} // namespace Protocol
