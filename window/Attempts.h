#pragma once

#include <cstdint>
#include <functional>

class Automate;
class LiaisonCVD;
class WindowEvents;

// The attempt loop of a dispense button: up to four dispense attempts, the
// automaton library consulted after each; its answer -2 ends them. Returns
// the library's last answer.
std::int32_t runAttempts(LiaisonCVD& liaison, Automate& automate, WindowEvents& events,
                         const std::function<void(int attempt)>& showAttempt);
