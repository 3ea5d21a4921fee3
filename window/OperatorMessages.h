#pragma once

#include <QString>

// How the operator is told things that are not reply codes.
class OperatorMessages {
public:
    virtual ~OperatorMessages() = default;

    // Something the operator should know; the program goes on.
    virtual void inform(const QString& text) = 0;
    // An error that left a handler or the start-up: it is reported and the
    // program ends with exit status 1.
    virtual void fatal(const QString& text) = 0;
};
