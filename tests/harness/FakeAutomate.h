#pragma once

#include "Automate.h"

#include <functional>
#include <vector>

// An automaton library that answers from a list (the last answer repeats;
// an empty list answers 0).
class FakeAutomate final : public Automate {
public:
    explicit FakeAutomate(std::vector<std::int32_t> answers = {-2})
        : answers(std::move(answers))
    {}

    void init_grafcet() override
    {
        ++initCalls;
        if (onInit)
            onInit();
    }
    std::int32_t VerifCardOut(std::int32_t value) override
    {
        arguments.push_back(value);
        if (onVerif)
            onVerif();
        if (answers.empty())
            return 0;
        const std::size_t i = arguments.size() - 1;
        return answers[i < answers.size() ? i : answers.size() - 1];
    }

    std::vector<std::int32_t> answers;
    std::vector<std::int32_t> arguments;
    int initCalls = 0;
    std::function<void()> onInit;
    std::function<void()> onVerif;
};
