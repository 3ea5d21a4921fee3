#include "LinkFixture.h"
#include "ReplyShapes.h"

using Ops = std::vector<std::string>;

TEST_F(LinkTest, OpeningSetsPortAndLineThenFlushes)
{
    answer(inTurn({replyCode(Protocol::Ready)}));
    liaison->NumPort = 2;
    comm->arriveAt(0s, "stale");
    EXPECT_EQ(liaison->CVDStatut(), Protocol::Ready);
    EXPECT_EQ(comm->setup, (Ops{"port 2", "settings 9600,E,8,1", "input length 0", "input mode 0", "open"}));
    EXPECT_EQ(comm->opNames(), (Ops{"open 2", "read 73 74 61 6c 65", "write 01 37", "read 01 23"}));
    EXPECT_TRUE(comm->portOpen()) << "a request leaves the port open";
}

class ReplyWait : public LinkTest, public ::testing::WithParamInterface<ReplyShape> {};

TEST_P(ReplyWait, EndsOnTwoBytesOrAfterMoreThanASecond)
{
    answer(inTurn({GetParam().reply}));
    EXPECT_EQ(liaison->CVDStatut(), GetParam().code);
    const auto write = comm->ops("write").at(0);
    const auto read = comm->ops("read").back();
    EXPECT_EQ(read.at - write.at, GetParam().readAt);
    EXPECT_EQ(read.what, std::string("read") + (*GetParam().read ? " " : "") + GetParam().read);
    EXPECT_TRUE(comm->violations.empty());
    EXPECT_EQ(events.processed, 0) << "the reply wait processes no window events";
}

INSTANTIATE_TEST_SUITE_P(Replies, ReplyWait, ::testing::ValuesIn(replyShapes(false)),
                         [](const auto& info) { return std::string(info.param.name); });

// A reply that comes after the bound stays waiting on the open port; the
// next exchange reads it first, as it stands.
// Bytes that come while the port stays open are not flushed: the next
// exchange reads them first.
TEST_F(LinkTest, LateBytesAreReadByTheNextExchange)
{
    answer(inTurn({replyCode(Protocol::Busy, 1500ms), replyCode(Protocol::Ready)}));
    EXPECT_EQ(liaison->CVDStatut(), 0);
    events.waitForEvents(2s); // the late reply arrives meanwhile
    EXPECT_EQ(liaison->CVDStatut(), Protocol::Busy);
    const auto writes = comm->ops("write");
    const auto reads = comm->ops("read");
    EXPECT_EQ(reads.back().at, writes.back().at) << "two bytes already waiting end the wait at once";
    EXPECT_EQ(reads.back().what, "read 01 24");
    EXPECT_EQ(liaison->CVDStatut(), Protocol::Ready) << "its own reply was still waiting";
}

TEST_F(LinkTest, ClosingIsOnlyForAnOpenPort)
{
    answer(inTurn({}));
    liaison->FermePort(); // no control fetched yet: nothing happens
    liaison->OuvrePort();
    liaison->FermePort();
    liaison->FermePort();
    EXPECT_EQ(comm->opNames(), (Ops{"open 1", "read", "close"}));
}

// Each pause of the sequence lasts exactly its length on the clock (0.3 s is
// not cut short by rounding), and window events run throughout; a pause of
// nought processes them once.
TEST_F(LinkTest, TempoLastsItsLengthAndProcessesEventsThroughout)
{
    answer(inTurn({}));
    liaison->Tempo(0);
    EXPECT_EQ(events.processed, 1);
    EXPECT_EQ(clock.now(), 0s);
    for (auto [s, length] : std::vector<std::pair<double, Duration>>{
             {0.1, 100ms}, {0.2, 200ms}, {0.3, 300ms}, {0.5, 500ms}, {1.0, 1s}, {1.5, 1500ms}}) {
        const Duration start = clock.now();
        int ran = 0;
        events.at(start + length / 5, [&] { ++ran; });
        events.at(start + length * 4 / 5, [&] { ++ran; });
        liaison->Tempo(s);
        EXPECT_EQ(clock.now() - start, length) << s;
        EXPECT_EQ(ran, 2) << s;
    }
}
