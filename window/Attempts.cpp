#include "Attempts.h"

#include "Automate.h"
#include "LiaisonCVD.h"
#include "WindowEvents.h"

namespace {

constexpr int MaxAttempts = 4;
constexpr std::int32_t CardOutCheck = 5;
constexpr std::int32_t AttemptsDone = -2;

} // namespace

std::int32_t runAttempts(LiaisonCVD& liaison, Automate& automate, WindowEvents& events,
                         const std::function<void(int attempt)>& showAttempt)
{
    int attempt = 0;
    std::int32_t result = 0;
    do {
        events.processPending();
        ++attempt;
        showAttempt(attempt);
        liaison.DistribueCarte();
        result = automate.VerifCardOut(CardOutCheck);
    } while (attempt < MaxAttempts && result != AttemptsDone);
    return result;
}
