#include "LiaisonCVD.h"

#include "Clock.h"
#include "MSComm.h"
#include "MainWindow.h"
#include "Protocol.h"
#include "SerialError.h"
#include "WindowEvents.h"

namespace {

// The reply wait ends once two bytes are waiting or more than this has passed.
const Duration ReplyWaitBound = seconds(1.0);
constexpr std::int16_t ReplyLength = 2;

// The dispense sequence.
constexpr int ReadinessRequests = 3;
constexpr double ReadinessPause = 0.5;
constexpr double SettlePause = 1.0;
constexpr double AfterResetPause = 0.3;
const Duration RecoveryDeadline = seconds(12.0);
constexpr double RecoveryPause = 0.1;
constexpr int FinalCheckRequests = 5;
constexpr double FinalCheckPause = 0.2;

} // namespace

LiaisonCVD::LiaisonCVD(MainWindow& fenetre, const Clock& clock, WindowEvents& events)
    : fenetre(fenetre),
      clock(clock),
      events(events)
{}

void LiaisonCVD::OuvrePort()
{
    Com = fenetre.MSComm1();
    if (!Com)
        return;
    if (Com->portOpen())
        return;
    Com->setCommPort(NumPort);
    Com->setSettings(Protocol::LineSettings);
    Com->setInputLen(0);
    Com->setInputMode(0);
    Com->setPortOpen(true);
    Com->input(); // whatever was waiting before the opening is stale
}

void LiaisonCVD::FermePort()
{
    if (!Com)
        return;
    if (Com->portOpen())
        Com->setPortOpen(false);
}

CodeReponse LiaisonCVD::CVDStatut()
{
    return Echange(Protocol::Status);
}
CodeReponse LiaisonCVD::CVDReset()
{
    return Echange(Protocol::Reset);
}
CodeReponse LiaisonCVD::CVDCardOut()
{
    return Echange(Protocol::CardOut);
}

CodeReponse LiaisonCVD::Echange(char command)
{
    OuvrePort();
    if (!Com)
        throw SerialError("The main window has no serial control.");
    Com->output(Protocol::request(command));
    AttendReponse();
    return Protocol::decodeReply(Com->input());
}

// Sleeps on the port until two bytes are waiting or more than the bound has
// passed; the reply may still be arriving when it ends.
void LiaisonCVD::AttendReponse()
{
    const Duration t0 = clock.now();
    for (;;) {
        if (Com->inBufferCount() >= ReplyLength)
            return;
        const Duration elapsed = clock.now() - t0;
        if (elapsed > ReplyWaitBound)
            return;
        // One tick past the bound, so that the wait ends "more than" a second later.
        Com->waitForInput(ReplyWaitBound - elapsed + Duration{1});
    }
}

void LiaisonCVD::Tempo(double secondsToWait)
{
    const Duration start = clock.now();
    const Duration length = seconds(secondsToWait);
    for (;;) {
        events.processPending();
        const Duration elapsed = clock.now() - start;
        if (elapsed >= length)
            return;
        events.waitForEvents(length - elapsed);
    }
}

std::int16_t LiaisonCVD::DistribueCarte()
{
    OuvrePort();

    CodeReponse code = 0;
    for (int request = 0; request < ReadinessRequests; ++request) {
        code = CVDStatut();
        Tempo(ReadinessPause);
        if (code == Protocol::Ready)
            break;
    }
    Tempo(SettlePause);

    if (code == Protocol::Ready) {
        CVDCardOut();
    } else {
        const CodeReponse r = CVDReset();
        fenetre.AffRep(r);
        Tempo(AfterResetPause);

        const Duration deadline = clock.now() + RecoveryDeadline;
        for (;;) {
            code = CVDStatut();
            Tempo(RecoveryPause);
            if (clock.now() > deadline || code == Protocol::Ready)
                break;
        }

        for (int request = 0; request < FinalCheckRequests; ++request) {
            code = CVDStatut();
            Tempo(FinalCheckPause);
            if (code == Protocol::Ready) {
                CVDCardOut();
                break;
            }
        }
    }

    FermePort();
    return 0;
}
