#include "DispenseOracle.h"

#include "Protocol.h"

using namespace std::chrono_literals;

namespace {

// The oracle's own reading, apart from the program's encoder and decoder:
// the three requests and the six reply codes, by value.
char letterOf(const std::string& written)
{
    if (written == "\x01\x37")
        return 'S';
    if (written == "\x01\x40")
        return 'R';
    if (written == "\x01\x42")
        return 'C';
    return '?';
}

CodeReponse codeOf(const std::string& read)
{
    if (read.size() < 2)
        return 0;
    const int code = static_cast<unsigned char>(read[1]);
    for (int known : {0x22, 0x23, 0x24, 0x25, 0x4B, 0x50})
        if (code == known)
            return static_cast<CodeReponse>(code);
    return 0;
}

// Walks the exchanges of one attempt, expecting each request and the pause before it.
class Walk {
public:
    Walk(const Attempt& a, std::vector<std::string>& broken)
        : a(a),
          broken(broken),
          last(a.opened)
    {}

    bool expect(char request, Duration pause)
    {
        if (i >= a.exchanges.size()) {
            broken.push_back(std::string("expected a request ") + request + " after " + lettersOf(a));
            return false;
        }
        const Exchange& e = a.exchanges[i];
        if (e.request != request)
            broken.push_back(std::string("request ") + std::to_string(i) + " is " + e.request + ", expected " +
                             request + " in " + lettersOf(a));
        if (e.sent - last != pause)
            broken.push_back("pause before request " + std::to_string(i) + " is " +
                             std::to_string((e.sent - last).count()) + " ns, expected " +
                             std::to_string(pause.count()));
        last = e.read;
        code = e.code;
        ++i;
        return e.request == request;
    }

    void expectClosed(Duration pause)
    {
        if (i != a.exchanges.size())
            broken.push_back("requests after the end of the sequence: " + lettersOf(a));
        if (!a.closed)
            broken.push_back("the port was not closed");
        else if (a.closedAt - last != pause)
            broken.push_back("closed " + std::to_string((a.closedAt - last).count()) + " ns after the last read");
    }

    Duration lastRead() const { return last; }
    CodeReponse code = 0;

private:
    const Attempt& a;
    std::vector<std::string>& broken;
    std::size_t i = 0;
    Duration last;
};

} // namespace

std::vector<Attempt> attemptsOf(const FakeMSComm& comm)
{
    using wire::Direction;
    std::vector<Attempt> attempts;
    const auto& wire = comm.wire;
    for (std::size_t i = 0; i < wire.size(); ++i) {
        const wire::Record& r = wire[i];
        if (r.direction == Direction::Event && r.port != 0) {
            attempts.emplace_back();
            attempts.back().opened = r.at;
        } else if (r.direction == Direction::ToDispenser && !attempts.empty()) {
            const bool hasRead = i + 1 < wire.size() && wire[i + 1].direction == Direction::FromDispenser;
            attempts.back().exchanges.push_back({letterOf(r.bytes), r.at, hasRead ? wire[i + 1].at : r.at,
                                                 hasRead ? codeOf(wire[i + 1].bytes) : CodeReponse{0}});
        } else if (r.direction == Direction::Event && !attempts.empty()) {
            attempts.back().closed = true;
            attempts.back().closedAt = r.at;
        }
    }
    return attempts;
}

std::string lettersOf(const Attempt& attempt)
{
    std::string letters;
    for (const Exchange& e : attempt.exchanges)
        letters += e.request;
    return letters;
}

std::vector<std::string> checkAttempt(const Attempt& attempt)
{
    std::vector<std::string> broken;
    Walk walk(attempt, broken);

    for (int n = 0; n < 3; ++n) {
        if (!walk.expect('S', n == 0 ? 0s : 500ms))
            return broken;
        if (walk.code == Protocol::Ready)
            break;
    }
    if (walk.code == Protocol::Ready) {
        walk.expect('C', 1500ms);
        walk.expectClosed(0s);
        return broken;
    }

    if (!walk.expect('R', 1500ms))
        return broken;
    const Duration deadline = walk.lastRead() + 300ms + 12s;
    Duration pause = 300ms;
    for (;;) {
        if (!walk.expect('S', pause))
            return broken;
        pause = 100ms;
        if (walk.lastRead() + 100ms > deadline || walk.code == Protocol::Ready)
            break;
    }
    for (int n = 0; n < 5; ++n) {
        if (!walk.expect('S', n == 0 ? 100ms : 200ms))
            return broken;
        if (walk.code == Protocol::Ready) {
            walk.expect('C', 200ms);
            walk.expectClosed(0s);
            return broken;
        }
    }
    walk.expectClosed(200ms);
    return broken;
}
