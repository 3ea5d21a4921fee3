#include "LinkFixture.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

// The requests written, in order: S status, R reset, C card-out.
std::string requests(const FakeMSComm& comm)
{
    std::string letters;
    for (const auto& op : comm.ops("write "))
        letters += op.what == "write 01 37"   ? 'S'
                   : op.what == "write 01 40" ? 'R'
                   : op.what == "write 01 42" ? 'C'
                                              : '?';
    return letters;
}

} // namespace

// Whole attempts, compared with their recorded wire traces in tests/golden
// (virtual-clock times: 5 ms for each answer, a second for each silence).
// To record one anew on purpose: CVD_UPDATE_GOLDEN=1 build/bin/cvd_unit_tests --gtest_filter='Paths/Golden*'
struct GoldenCase {
    const char* name;
    std::function<Responder()> dispenser;
    std::vector<CodeReponse> shown; // what AffRep showed
};

inline std::ostream& operator<<(std::ostream& out, const GoldenCase& c)
{
    return out << c.name;
}

class Golden : public LinkTest, public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(Golden, TheWireIsTheRecordedOne)
{
    answer(GetParam().dispenser());
    EXPECT_EQ(liaison->DistribueCarte(), 0);
    EXPECT_EQ(window->shown, GetParam().shown);
    EXPECT_TRUE(comm->violations.empty());
    const std::string path = std::string(GOLDEN_DIR "/") + GetParam().name + ".trace";
    if (std::getenv("CVD_UPDATE_GOLDEN")) {
        std::ofstream(path) << comm->wireTrace();
        GTEST_SKIP() << "recorded " << path;
    }
    std::ifstream recorded(path);
    ASSERT_TRUE(recorded) << path;
    EXPECT_EQ(comm->wireTrace(), std::string(std::istreambuf_iterator<char>(recorded), {})) << path;
}

// The status replies of the dispenser, in turn; the last one repeats.
Responder statuses(std::vector<CodeReponse> codes)
{
    return statusThenAck([codes, n = std::size_t{0}]() mutable { return codes[std::min(n++, codes.size() - 1)]; });
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Golden,
    ::testing::Values(GoldenCase{"ready_at_once", [] { return statuses({Protocol::Ready}); }, {}},
                      GoldenCase{"ready_at_the_third_request",
                                 [] {
                                     return statuses({Protocol::Busy, Protocol::Busy, Protocol::Ready});
                                 },
                                 {}},
                      GoldenCase{"recovery_then_ready",
                                 [] {
                                     return statuses({Protocol::Busy, Protocol::Busy, Protocol::Busy, Protocol::Busy,
                                                      Protocol::Busy, Protocol::Ready});
                                 },
                                 {Protocol::Ack}},
                      GoldenCase{"empty", [] { return statuses({Protocol::Empty}); }, {Protocol::Ack}},
                      GoldenCase{
                          "no_reply", [] { return Responder([](const std::string&) { return noReply(); }); }, {0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkTest, ResetWithoutReplyShowsZero)
{
    int n = 0;
    answer([&n](const std::string& r) {
        if (r[1] == Protocol::Reset)
            return noReply();
        return ++n > 3 ? replyCode(Protocol::Ready) : replyCode(Protocol::Empty);
    });
    liaison->DistribueCarte();
    EXPECT_EQ(window->shown, std::vector<CodeReponse>{0});
    EXPECT_EQ(requests(*comm), "SSSRSSC");
}

// The recovery deadline is strict: a poll that ends exactly 12 s after it
// was set does not end the recovery.
TEST_F(LinkTest, RecoveryDeadlineIsStrictlyAfterTwelveSeconds)
{
    answer([](const std::string& r) {
        return r[1] == Protocol::Status ? replyCode(Protocol::Busy, 200ms) : replyCode(Protocol::Ack);
    });
    liaison->DistribueCarte();
    // Each poll takes 0.2 s + 0.1 s: the fortieth ends on the deadline, the 41st past it.
    EXPECT_EQ(requests(*comm), "SSSR" + std::string(41, 'S') + std::string(5, 'S'));
}

TEST_F(LinkTest, ReadyOnlyInTheFinalCheck)
{
    int n = 0;
    answer(statusThenAck([&] { return ++n == 3 + 11 + 4 ? Protocol::Ready : CodeReponse{0}; }));
    liaison->DistribueCarte();
    EXPECT_EQ(requests(*comm), "SSSR" + std::string(11, 'S') + "SSSSC");
}

TEST_F(LinkTest, ClosesThePortOnEveryPath)
{
    for (CodeReponse status : {Protocol::Ready, Protocol::Busy, Protocol::Empty, Protocol::Error, CodeReponse{0}}) {
        answer(statusThenAck([status] { return status; }));
        liaison->DistribueCarte();
        EXPECT_FALSE(comm->portOpen()) << status;
        EXPECT_EQ(comm->trace.back().what, "close") << status;
        EXPECT_EQ(comm->ops("open").size(), 1u) << status;
    }
}
