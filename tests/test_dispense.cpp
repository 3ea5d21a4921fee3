#include "LinkFixture.h"

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

const Duration Answer = 5ms; // how long the fake dispenser takes to answer

} // namespace

TEST_F(LinkTest, ReadyAtOnceCardOutAfterOneAndAHalfSeconds)
{
    answer(statusThenAck([] { return Protocol::Ready; }));
    EXPECT_EQ(liaison->DistribueCarte(), 0);
    EXPECT_EQ(requests(*comm), "SC");
    const auto writes = comm->ops("write");
    EXPECT_EQ(writes[0].at, 0s);
    EXPECT_EQ(writes[1].at, Answer + 1500ms);
    EXPECT_EQ(comm->trace.back().what, "close");
    EXPECT_EQ(comm->trace.back().at, 2 * Answer + 1500ms);
    EXPECT_TRUE(window->shown.empty()) << "no text changes on this path";
}

TEST_F(LinkTest, ReadyAtTheThirdRequest)
{
    int n = 0;
    answer(statusThenAck([&] { return ++n == 3 ? Protocol::Ready : Protocol::Busy; }));
    liaison->DistribueCarte();
    EXPECT_EQ(requests(*comm), "SSSC");
    EXPECT_EQ(comm->ops("write")[3].at, 3 * (Answer + 500ms) + 1s);
}

// Three replies other than Ready: reset, its reply shown, 0.3 s, recovery
// polls 0.1 s apart until Ready, then the final check before the card-out.
TEST_F(LinkTest, RecoveryThenFinalCheckBeforeCardOut)
{
    int n = 0;
    answer(statusThenAck([&] { return ++n >= 6 ? Protocol::Ready : Protocol::Busy; }));
    liaison->DistribueCarte();
    EXPECT_EQ(requests(*comm), "SSSRSSSSC") << "three checks, reset, three recovery polls, final check";
    EXPECT_EQ(window->shown, std::vector<CodeReponse>{Protocol::Ack});
    const auto w = comm->ops("write");
    const Duration resetAt = 3 * (Answer + 500ms) + 1s;
    EXPECT_EQ(w[3].at, resetAt);
    EXPECT_EQ(w[4].at, resetAt + Answer + 300ms);
    for (int i = 5; i <= 7; ++i)
        EXPECT_EQ(w[i].at - w[i - 1].at, Answer + 100ms) << i;
    EXPECT_EQ(w[8].at - w[7].at, Answer + 200ms) << "final check's pause comes before the card-out";
    EXPECT_EQ(comm->trace.back().what, "close");
}

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

TEST_F(LinkTest, NoReplyAtAllRunsTheLongestPathWithoutCardOut)
{
    answer([](const std::string&) { return noReply(); });
    liaison->DistribueCarte();
    const std::string sent = requests(*comm);
    ASSERT_EQ(sent.substr(0, 4), "SSSR");
    const std::size_t recovery = sent.size() - 4 - 5;
    EXPECT_EQ(sent.substr(4), std::string(recovery + 5, 'S')) << "no card-out";
    // Each recovery poll takes a reply wait and 0.1 s; the loop stops at the
    // first reading more than 12 s after the deadline was set.
    EXPECT_EQ(recovery, 11u);
    EXPECT_EQ(window->shown, std::vector<CodeReponse>{0});
    EXPECT_EQ(comm->trace.back().what, "close");
    const Duration total = 20 * NoReplyWait + 3 * 500ms + 1s + 300ms + 11 * 100ms + 5 * 200ms;
    EXPECT_EQ(comm->trace.back().at, total);
    EXPECT_TRUE(comm->violations.empty());
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
