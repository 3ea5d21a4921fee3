#include "Protocol.h"

namespace Protocol {

std::string request(char command)
{
    return std::string{RequestStart, command};
}

const char* requestName(char command)
{
    switch (command) {
    case Status: return "status";
    case Reset: return "reset";
    case CardOut: return "card-out";
    default: return "unknown";
    }
}

const char* replyName(CodeReponse code)
{
    switch (code) {
    case Empty: return "Empty";
    case Ready: return "Ready";
    case Busy: return "Busy";
    case Error: return "Error";
    case Nack: return "NACK";
    case Ack: return "ACK";
    default: return nullptr;
    }
}

CodeReponse decodeReply(const std::string& reply)
{
    if (reply.size() < 2)
        return 0;
    const auto code = static_cast<CodeReponse>(static_cast<unsigned char>(reply[1]));
    return replyName(code) ? code : CodeReponse{0};
}

} // namespace Protocol
