#include "GrafcetLibrary.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#if !defined(CVD_LIBDIR_FROM_BINDIR) || !defined(CVD_LIBRARY_FILE) || !defined(CVD_SITE_LIBRARY_DIR)
#error "CVD_LIBDIR_FROM_BINDIR, CVD_LIBRARY_FILE and CVD_SITE_LIBRARY_DIR come from the build"
#endif

namespace {

const char* const LibraryFile = CVD_LIBRARY_FILE;

[[noreturn]] void refuse(const QString& path, const QString& why)
{
    throw AutomateError(QStringLiteral("Cannot load the automaton library %1: %2").arg(path, why).toStdString());
}

// Every step from / down to the file: each belongs to root or to the user
// running the program, and none may be written by group or others; a sticky
// folder (such as /tmp) may, since only the owner of an entry in it can
// rename or remove that entry, and the next step is checked in turn.
void checkEveryStep(const QString& shown, const QString& path)
{
    const QStringList steps = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString step;
    for (int i = -1; i < steps.size(); ++i) {
        step = i < 0 ? QStringLiteral("/") : (i == 0 ? QString() : step) + QLatin1Char('/') + steps[i];
        struct stat info {};
        if (lstat(step.toLocal8Bit().constData(), &info) != 0)
            refuse(shown, QStringLiteral("%1 cannot be examined.").arg(step));
        if (info.st_uid != 0 && info.st_uid != getuid())
            refuse(shown, QStringLiteral("%1 belongs to user %2, not to root or to the user running the program. "
                                         "Give it to root (sudo chown root %1).")
                              .arg(step)
                              .arg(info.st_uid));
        const bool othersMayWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        if (S_ISLNK(info.st_mode) || !othersMayWrite || (S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)))
            continue;
        if (i == steps.size() - 1)
            refuse(shown, QStringLiteral("the file may be written by others than its owner. Remove group and "
                                         "world write permission (chmod go-w %1).")
                              .arg(step));
        refuse(shown, QStringLiteral("its folder %1 may be written by others than its owner. Remove group and "
                                     "world write permission (chmod go-w %1).")
                          .arg(step));
    }
}

} // namespace

QString GrafcetLibrary::locate(const QString& programDir)
{
    QString besideProgram = QDir(programDir).filePath(LibraryFile);
    if (QFileInfo::exists(besideProgram))
        return besideProgram;
    QString site = QDir(QStringLiteral(CVD_SITE_LIBRARY_DIR)).filePath(LibraryFile);
    if (QFileInfo::exists(site))
        return site;
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
    // Whoever may write the library, or change a step of the way to it, may
    // run code as the operator: the way as given, and through its links.
    checkEveryStep(path, QDir::cleanPath(path));
    checkEveryStep(path, file.canonicalFilePath());

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
