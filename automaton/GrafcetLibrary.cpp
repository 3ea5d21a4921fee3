#include "GrafcetLibrary.h"

#include <QDir>
#include <QFileInfo>

#if !defined(CVD_LIBDIR_FROM_BINDIR) || !defined(CVD_LIBRARY_FILE)
#error "CVD_LIBDIR_FROM_BINDIR and CVD_LIBRARY_FILE come from the build"
#endif

namespace {

const char* const LibraryFile = CVD_LIBRARY_FILE;

[[noreturn]] void refuse(const QString& path, const QString& why)
{
    throw AutomateError(QStringLiteral("Cannot load the automaton library %1: %2").arg(path, why).toStdString());
}

bool othersMayWrite(const QFileInfo& info)
{
    return info.permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther);
}

} // namespace

QString GrafcetLibrary::locate(const QString& programDir)
{
    QString besideProgram = QDir(programDir).filePath(LibraryFile);
    if (QFileInfo::exists(besideProgram))
        return besideProgram;
    // Installed: <prefix>/bin/cvd-operator and <prefix>/lib/cvd-operator/libgrafcet.so,
    // wherever the prefix is.
    return QDir::cleanPath(QDir(programDir).filePath(QStringLiteral(CVD_LIBDIR_FROM_BINDIR "/") + LibraryFile));
}

GrafcetLibrary::GrafcetLibrary(const QString& path)
{
    const QFileInfo file(path);
    if (!file.isAbsolute())
        refuse(path, QStringLiteral("the path is not absolute."));
    if (!file.exists())
        refuse(path, QStringLiteral("no such file. Install the site's libgrafcet.so there."));
    // Whoever may write the library or its folder may run code as the operator.
    if (othersMayWrite(file))
        refuse(path, QStringLiteral("the file may be written by others than its owner. Remove group and "
                                    "world write permission (chmod go-w)."));
    if (othersMayWrite(QFileInfo(file.absolutePath())))
        refuse(path, QStringLiteral("its folder %1 may be written by others than its owner. Remove group and "
                                    "world write permission (chmod go-w).")
                         .arg(file.absolutePath()));

    library.setFileName(file.absoluteFilePath());
    library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!library.load())
        refuse(path, QStringLiteral("it is not a loadable library (%1).").arg(library.errorString()));

    initGrafcet = reinterpret_cast<InitGrafcet>(resolve("init_grafcet"));
    verifCardOut = reinterpret_cast<VerifCardOutFn>(resolve("VerifCardOut"));
}

QFunctionPointer GrafcetLibrary::resolve(const char* symbol)
{
    const QFunctionPointer entry = library.resolve(symbol);
    if (!entry)
        refuse(library.fileName(), QStringLiteral("it has no entry point %1.").arg(QLatin1String(symbol)));
    return entry;
}

void GrafcetLibrary::init_grafcet()
{
    initGrafcet();
}

std::int32_t GrafcetLibrary::VerifCardOut(std::int32_t value)
{
    return verifCardOut(value);
}
