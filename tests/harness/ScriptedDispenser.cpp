#include "ScriptedDispenser.h"

#include "Protocol.h"

using namespace std::chrono_literals;

namespace {

const char Codes[] = {Protocol::Empty, Protocol::Ready, Protocol::Busy, Protocol::Error, Protocol::Nack, Protocol::Ack};

struct Script {
    std::string bytes;
    std::size_t next = 0;

    bool take(unsigned char& b)
    {
        if (next >= bytes.size())
            return false;
        b = static_cast<unsigned char>(bytes[next++]);
        return true;
    }
};

} // namespace

Responder scriptedDispenser(std::string bytes)
{
    auto script = std::make_shared<Script>(Script{std::move(bytes)});
    return [script](const std::string&) -> Reply {
        unsigned char kind, delay, code;
        if (!script->take(kind) || !script->take(delay) || !script->take(code))
            return noReply();
        // Half of the code values name a reply code, the rest stand as they are.
        const char second = code < 128 ? Codes[code % 6] : static_cast<char>(code);
        const Duration after = delay * 4ms;
        const std::string reply{'\x01', second};
        switch (kind % 6) {
        case 0: return noReply();
        case 1: return {{after, "\x01"}};
        case 2: return {{after, reply}};
        case 3: return {{after, reply + std::string(delay % 7 + 1, '\x23')}};
        case 4: return {{after, "\x01"}, {after + delay * 2ms, std::string(1, second)}};
        default: return {{1s + after + 1ms, reply}};
        }
    };
}
