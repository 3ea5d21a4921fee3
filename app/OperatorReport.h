#pragma once

#include "OperatorMessages.h"

// Tells the operator in a message box, and writes the same line to standard
// error. Where no one can see a box (no display) only the line is written.
class OperatorReport final : public OperatorMessages {
public:
    explicit OperatorReport(bool showBoxes);

    void inform(const QString& text) override;
    // Reports, then ends the event loop with exit status 1.
    void fatal(const QString& text) override;

private:
    const bool showBoxes;
};
