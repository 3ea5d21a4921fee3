#include "Golden.h"
#include "LinkFixture.h"

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
    expectGolden(std::string(GetParam().name) + ".trace", comm->wireTrace());
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
                          "no_reply", [] { return Responder([](const std::string&) { return noReply(); }); }, {0}},
                      GoldenCase{"reset_without_reply",
                                 [] {
                                     return Responder([n = 0](const std::string& r) mutable {
                                         if (r[1] == Protocol::Reset)
                                             return noReply();
                                         return replyCode(++n > 3 ? Protocol::Ready : Protocol::Empty);
                                     });
                                 },
                                 {0}},
                      // The recovery deadline is strict: each poll takes 0.2 s + 0.1 s, the
                      // fortieth ends on the deadline and does not end the recovery, the 41st does.
                      GoldenCase{"recovery_deadline_is_strict",
                                 [] {
                                     return Responder([](const std::string& r) {
                                         return r[1] == Protocol::Status ? replyCode(Protocol::Busy, 200ms)
                                                                         : replyCode(Protocol::Ack);
                                     });
                                 },
                                 {Protocol::Ack}},
                      GoldenCase{"ready_only_in_the_final_check",
                                 [] {
                                     return statusThenAck([n = 0]() mutable {
                                         return ++n == 3 + 11 + 4 ? Protocol::Ready : CodeReponse{0};
                                     });
                                 },
                                 {Protocol::Ack}}),
    [](const auto& info) { return std::string(info.param.name); });
