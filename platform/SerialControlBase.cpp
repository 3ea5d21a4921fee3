#include "SerialControlBase.h"

#include "SerialFailures.h"

#include <utility>

SerialControlBase::SerialControlBase(QStringList devices)
    : devices(std::move(devices))
{}

void SerialControlBase::setCommPort(std::int16_t port)
{
    commPort = port;
}

void SerialControlBase::setSettings(const std::string& settings)
{
    const std::optional<LineSettings> parsed = LineSettings::parse(settings);
    if (!parsed)
        throw SerialError(SerialFailures::invalidSettings(settings).toStdString());
    line = *parsed;
}

void SerialControlBase::setInputLen(std::int16_t length)
{
    inputLen = length;
}

QString SerialControlBase::chosenDevice() const
{
    if (commPort < 1 || commPort > devices.size())
        throw SerialError(SerialFailures::noSuchPort(commPort, devices).toStdString());
    return devices[commPort - 1];
}

void SerialControlBase::fail(const QString& what) const
{
    const QString device = commPort >= 1 && commPort <= devices.size() ? devices[commPort - 1] : QString();
    SerialFailures::fail(commPort, device, what);
}
