#include "DispenseOracle.h"
#include "LinkFixture.h"
#include "ScriptedDispenser.h"
#include "WindowFixture.h"

#include <random>

namespace {

std::string randomScript(std::mt19937& rng)
{
    std::uniform_int_distribution<int> byte(0, 255);
    std::string script(std::uniform_int_distribution<int>(0, 150)(rng), '\0');
    for (char& c : script)
        c = static_cast<char>(byte(rng));
    return script;
}

} // namespace

// Whatever the dispenser answers, every attempt follows the sequence: a
// card-out only right after a status reply read as Ready, at most one, the
// pauses in their places, the port closed at the end, nothing written on a
// closed port.
TEST_F(LinkTest, EveryRandomReplyScriptKeepsTheSequence)
{
    std::mt19937 rng(20261208);
    int cardOuts = 0, recoveries = 0;
    for (int run = 0; run < 3000; ++run) {
        answer(scriptedDispenser(randomScript(rng)));
        liaison->DistribueCarte();
        const auto attempts = attemptsOf(*comm);
        ASSERT_EQ(attempts.size(), 1u);
        const auto broken = checkAttempt(attempts[0]);
        ASSERT_TRUE(broken.empty()) << "run " << run << ": " << broken[0];
        ASSERT_TRUE(comm->violations.empty()) << "run " << run << ": " << comm->violations[0];
        const std::string letters = lettersOf(attempts[0]);
        cardOuts += letters.back() == 'C';
        recoveries += letters.find('R') != std::string::npos;
    }
    // The scripts reach both ends of the sequence often.
    EXPECT_GT(cardOuts, 300);
    EXPECT_GT(recoveries, 300);
}

TEST_F(WindowTest, EveryRandomReplyScriptKeepsTheButtonRun)
{
    std::mt19937 rng(7);
    for (int run = 0; run < 300; ++run) {
        const std::int32_t stopAt = std::uniform_int_distribution<int>(1, 5)(rng);
        std::vector<std::int32_t> answers(stopAt - 1, 0);
        answers.push_back(-2);
        build(scriptedDispenser(randomScript(rng)), answers);
        click(run % 2 ? window->Command4 : window->Command5);
        const auto attempts = attemptsOf(*comm);
        const std::size_t expected = std::min(stopAt, 4);
        ASSERT_EQ(attempts.size(), expected) << "run " << run;
        ASSERT_EQ(automate->arguments.size(), expected);
        for (const Attempt& attempt : attempts) {
            const auto broken = checkAttempt(attempt);
            ASSERT_TRUE(broken.empty()) << "run " << run << ": " << broken[0];
        }
        ASSERT_TRUE(comm->violations.empty()) << comm->violations[0];
        ASSERT_FALSE(comm->portOpen());
    }
}
