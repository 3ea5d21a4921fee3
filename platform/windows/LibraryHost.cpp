#include "HostedLibrary.h"
#include "LibraryPlace.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

namespace {

constexpr quint16 I386 = 0x014c;
const char* const HostProgram = "grafcet-host32.exe";

// The machine a library is built for, from its PE header; 0 for a file that
// is no Windows library, which the loader then refuses.
quint16 peMachine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray dosHeader = file.read(64);
    if (dosHeader.size() < 64 || !dosHeader.startsWith("MZ"))
        return 0;
    const quint32 peHeaderAt = qFromLittleEndian<quint32>(dosHeader.constData() + 0x3c);
    if (!file.seek(peHeaderAt))
        return 0;
    const QByteArray peHeader = file.read(6);
    if (peHeader.size() < 6 || !peHeader.startsWith(QByteArray("PE\0\0", 4)))
        return 0;
    return qFromLittleEndian<quint16>(peHeader.constData() + 4);
}

} // namespace

// A site that comes from the 32-bit program of old has a 32-bit library,
// which a 64-bit process cannot load: a 32-bit host of ours runs it.
std::unique_ptr<Automate> openInHost(const QString& path, const QString& programDir)
{
    if (peMachine(path) != I386)
        return nullptr;
    return std::make_unique<HostedLibrary>(QDir(programDir).filePath(QLatin1String(HostProgram)), path);
}
