#include "Fault.h"

#include <cstdlib>

std::vector<Fault::Chunk> Fault::shape(const std::string& reply, std::chrono::milliseconds replyDelay) const
{
    switch (kind) {
    case Kind::None: return {{replyDelay, reply}};
    case Kind::Silent: return {};
    case Kind::Late: return {{replyDelay + delay, reply}};
    case Kind::OneByte: return {{replyDelay, reply.substr(0, 1)}};
    case Kind::ExtraBytes: return {{replyDelay, reply + "\x99\x98"}};
    case Kind::Garbage: return {{replyDelay, std::string("\xff\x7e\x00", 3)}};
    case Kind::Split: return {{replyDelay, reply.substr(0, 1)}, {replyDelay + delay, reply.substr(1)}};
    }
    return {};
}

bool Fault::parse(const std::string& text, Fault& fault)
{
    const std::string name = text.substr(0, text.find(':'));
    const bool hasDelay = text.find(':') != std::string::npos;
    if (hasDelay) {
        char* end = nullptr;
        const std::string value = text.substr(text.find(':') + 1);
        const long ms = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || ms < 0)
            return false;
        fault.delay = std::chrono::milliseconds(ms);
    }
    if (name == "none")
        fault.kind = Kind::None;
    else if (name == "silent")
        fault.kind = Kind::Silent;
    else if (name == "late" && hasDelay)
        fault.kind = Kind::Late;
    else if (name == "one-byte")
        fault.kind = Kind::OneByte;
    else if (name == "extra-bytes")
        fault.kind = Kind::ExtraBytes;
    else if (name == "garbage")
        fault.kind = Kind::Garbage;
    else if (name == "split" && hasDelay)
        fault.kind = Kind::Split;
    else
        return false;
    return true;
}
