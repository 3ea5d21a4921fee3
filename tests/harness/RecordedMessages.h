#pragma once

#include "OperatorMessages.h"

#include <vector>

// Operator messages kept for the test to read.
class RecordedMessages final : public OperatorMessages {
public:
    void inform(const QString& text) override { informed.push_back(text); }
    void fatal(const QString& text) override { fatals.push_back(text); }
    std::vector<QString> informed;
    std::vector<QString> fatals;
};
