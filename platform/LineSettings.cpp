#include "LineSettings.h"

#include <QString>
#include <QStringList>

std::optional<LineSettings> LineSettings::parse(const std::string& text)
{
    const QStringList fields = QString::fromStdString(text).toUpper().split(QLatin1Char(','));
    if (fields.size() != 4)
        return std::nullopt;
    LineSettings line;
    bool baudOk = false, dataOk = false;
    line.baud = fields[0].toInt(&baudOk);
    line.dataBits = fields[2].toInt(&dataOk);
    static const QString parities = QStringLiteral("NEOMS");
    const int parity = fields[1].size() == 1 ? static_cast<int>(parities.indexOf(fields[1])) : -1;
    if (!baudOk || line.baud <= 0 || !dataOk || line.dataBits < 5 || line.dataBits > 8 || parity < 0)
        return std::nullopt;
    line.parity = static_cast<Parity>(parity);
    if (fields[3] == QLatin1String("1"))
        line.stopBits = StopBits::One;
    else if (fields[3] == QLatin1String("1.5"))
        line.stopBits = StopBits::OneAndHalf;
    else if (fields[3] == QLatin1String("2"))
        line.stopBits = StopBits::Two;
    else
        return std::nullopt;
    return line;
}
