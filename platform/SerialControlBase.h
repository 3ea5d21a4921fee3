#pragma once

#include "LineSettings.h"
#include "MSComm.h"

#include <QString>
#include <QStringList>

// What the serial controls of every platform keep alike: the port number,
// line settings and input length that the link sets before an opening, the
// device of each port number, and how a failure is told.
class SerialControlBase : public MSComm {
public:
    void setCommPort(std::int16_t port) override;
    void setSettings(const std::string& settings) override;
    void setInputLen(std::int16_t length) override;
    // Text and binary input read the same bytes here: each byte is one character.
    void setInputMode(std::int16_t) override {}

protected:
    explicit SerialControlBase(QStringList devices);

    // The device of the chosen port number; a number the build has no
    // device for fails.
    QString chosenDevice() const;
    // "Serial port N (device): what".
    [[noreturn]] void fail(const QString& what) const;

    const QStringList devices;
    std::int16_t commPort = 0;
    LineSettings line;
    std::int16_t inputLen = 0;
};
