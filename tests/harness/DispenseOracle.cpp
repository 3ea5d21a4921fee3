#include "DispenseOracle.h"

#include "Protocol.h"

using namespace std::chrono_literals;

namespace {

char letterOf(const std::string& written)
{
    if (written == "write 01 37")
        return 'S';
    if (written == "write 01 40")
        return 'R';
    if (written == "write 01 42")
        return 'C';
    return '?';
}

CodeReponse codeOfRead(const std::string& read)
{
    // "read 01 23 ..." : the second byte is at characters 8 and 9.
    if (read.size() < 10)
        return 0;
    // The oracle's own reading, apart from the program's decoder: the six
    // reply codes, by value.
    const int code = std::stoi(read.substr(8, 2), nullptr, 16);
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
    std::vector<Attempt> attempts;
    for (std::size_t i = 0; i < comm.trace.size(); ++i) {
        const auto& op = comm.trace[i];
        if (op.what.rfind("open", 0) == 0) {
            attempts.emplace_back();
            attempts.back().opened = op.at;
        } else if (op.what.rfind("write", 0) == 0 && !attempts.empty()) {
            const bool hasRead = i + 1 < comm.trace.size() && comm.trace[i + 1].what.rfind("read", 0) == 0;
            attempts.back().exchanges.push_back({letterOf(op.what), op.at, hasRead ? comm.trace[i + 1].at : op.at,
                                                 hasRead ? codeOfRead(comm.trace[i + 1].what) : CodeReponse{0}});
        } else if (op.what == "close" && !attempts.empty()) {
            attempts.back().closed = true;
            attempts.back().closedAt = op.at;
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
