#pragma once

#include "FakeMSComm.h"
#include "FakeMainWindow.h"
#include "FakeWindowEvents.h"
#include "LiaisonCVD.h"
#include "Protocol.h"
#include "VirtualClock.h"

#include <gtest/gtest.h>

#include <deque>

using namespace std::chrono_literals;

// Replies taken in turn from a list; the last one repeats, then silence.
inline Responder inTurn(std::deque<Reply> replies)
{
    return [replies = std::move(replies)](const std::string&) mutable {
        if (replies.empty())
            return noReply();
        Reply next = replies.front();
        if (replies.size() > 1)
            replies.pop_front();
        return next;
    };
}

// A dispenser that answers a status request by `status`, and any other
// request by ACK.
inline Responder statusThenAck(std::function<CodeReponse()> status)
{
    return [status = std::move(status)](const std::string& request) {
        if (request[1] == Protocol::Status) {
            const CodeReponse code = status();
            return code ? replyCode(code) : noReply();
        }
        return replyCode(Protocol::Ack);
    };
}

// The link on a fake control, a fake window and a virtual clock.
class LinkTest : public ::testing::Test {
protected:
    void answer(Responder responder)
    {
        comm = std::make_unique<FakeMSComm>(clock, std::move(responder));
        window = std::make_unique<FakeMainWindow>(*comm);
        liaison = std::make_unique<LiaisonCVD>(*window, clock, events);
        liaison->NumPort = 1;
    }

    VirtualClock clock;
    FakeWindowEvents events{clock};
    std::unique_ptr<FakeMSComm> comm;
    std::unique_ptr<FakeMainWindow> window;
    std::unique_ptr<LiaisonCVD> liaison;
};

// One reply wait that found nothing: one tick more than a second.
const Duration NoReplyWait = 1s + Duration{1};
