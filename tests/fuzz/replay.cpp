// Runs the fuzz target over every file of the given folders and, with
// --seeded N, over N random reply scripts from a fixed seed; these must reach
// both ends of the sequence (card-outs and recoveries) often.
// Usage: fuzz_replay [--seeded N] FOLDER...

#include "Reached.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void run(const std::vector<std::uint8_t>& input)
{
    LLVMFuzzerTestOneInput(input.data(), input.size());
}

// The library's stop and other answer, then up to 150 script bytes.
std::vector<std::uint8_t> randomInput(std::mt19937& rng)
{
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> input(2 + std::uniform_int_distribution<std::size_t>(0, 150)(rng));
    for (auto& b : input)
        b = static_cast<std::uint8_t>(byte(rng));
    return input;
}

} // namespace

int main(int argc, char** argv)
{
    int replayed = 0, seeded = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--seeded" && i + 1 < argc) {
            seeded = std::atoi(argv[++i]);
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            std::ifstream in(entry.path(), std::ios::binary);
            run({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
            ++replayed;
        }
    }
    const Reached fromCorpus = reached;
    std::mt19937 rng(20261208);
    for (int n = 0; n < seeded; ++n)
        run(randomInput(rng));
    const int attempts = reached.attempts - fromCorpus.attempts;
    const int cardOuts = reached.cardOuts - fromCorpus.cardOuts;
    const int recoveries = reached.recoveries - fromCorpus.recoveries;
    std::printf("%d inputs replayed, %d seeded scripts run (%d attempts: %d card-outs, %d recoveries), 0 failed\n",
                replayed, seeded, attempts, cardOuts, recoveries);
    if (seeded > 0 && (cardOuts * 10 < attempts || recoveries * 10 < attempts)) {
        std::fprintf(stderr, "the seeded scripts no longer reach both ends of the sequence\n");
        return 1;
    }
    return replayed + seeded > 0 ? 0 : 1;
}
