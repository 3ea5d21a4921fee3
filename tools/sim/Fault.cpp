#include "Fault.h"

#include <cerrno>
#include <cstdlib>

bool TimeOption::parse(const char* text, long& ms)
{
    char* end = nullptr;
    errno = 0;
    ms = std::strtol(text, &end, 10);
    return *text != '\0' && *end == '\0' && errno == 0 && ms >= 0 && ms <= MaxMs;
}

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
        long ms = 0;
        if (!TimeOption::parse(text.c_str() + text.find(':') + 1, ms))
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
