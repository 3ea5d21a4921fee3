#include "GrafcetLibrary.h"

#include "LibraryPlace.h"

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

} // namespace

QString GrafcetLibrary::locate(const QString& programDir)
{
    // Installed: <prefix>/bin/cvd-operator and <prefix>/lib/cvd-operator/libgrafcet.so
    // wherever the prefix is; on Windows the stand-in sits beside the program.
    QString standIn =
        QDir::cleanPath(QDir(programDir).filePath(QStringLiteral(CVD_LIBDIR_FROM_BINDIR "/") + LibraryFile));
    QString besideProgram = QDir::cleanPath(QDir(programDir).filePath(LibraryFile));
    if (besideProgram != standIn && QFileInfo::exists(besideProgram))
        return besideProgram;
    QString site = QDir(siteLibraryFolder()).filePath(LibraryFile);
    if (QFileInfo::exists(site))
        return site;
    return standIn;
}

std::unique_ptr<Automate> openAutomate(const QString& path, const QString& programDir)
{
    const QFileInfo file(path);
    if (!file.isAbsolute())
        refuse(path, QStringLiteral("the path is not absolute."));
    if (!file.exists())
        refuse(path, QStringLiteral("no such file. Install the site's %1 there.").arg(QLatin1String(LibraryFile)));
    // Whoever may write the library, or change a step of the way to it, may
    // run code as the operator: the way as given, and through its links.
    for (const QString& way : {QDir::cleanPath(path), file.canonicalFilePath()}) {
        const QString unsafe = unsafeLibraryReason(way);
        if (!unsafe.isEmpty())
            refuse(path, unsafe);
    }
    if (std::unique_ptr<Automate> hosted = openInHost(path, programDir))
        return hosted;
    return std::make_unique<GrafcetLibrary>(path);
}

GrafcetLibrary::GrafcetLibrary(const QString& path)
{
    const QFileInfo file(path);
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
