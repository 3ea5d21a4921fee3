#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

// Compares `text` with the recorded file tests/golden/NAME. With
// CVD_UPDATE_GOLDEN set, records it instead (then read `git diff tests/golden`).
inline void expectGolden(const std::string& name, const std::string& text)
{
    const std::string path = std::string(GOLDEN_DIR "/") + name;
    if (std::getenv("CVD_UPDATE_GOLDEN")) {
        std::ofstream(path) << text;
        GTEST_SKIP() << "recorded " << path;
    }
    std::ifstream recorded(path);
    ASSERT_TRUE(recorded) << path;
    EXPECT_EQ(text, std::string(std::istreambuf_iterator<char>(recorded), {})) << path;
}
