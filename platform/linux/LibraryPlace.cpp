#include "LibraryPlace.h"

#include "Automate.h"

#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

QString siteLibraryFolder()
{
    return QStringLiteral(CVD_SITE_LIBRARY_DIR);
}

// Every step from / down to the file: each belongs to root or to the user
// running the program, and none may be written by group or others; a sticky
// folder (such as /tmp) may, since only the owner of an entry in it can
// rename or remove that entry, and the next step is checked in turn.
QString unsafeLibraryReason(const QString& path)
{
    const QStringList steps = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString step;
    for (int i = -1; i < steps.size(); ++i) {
        step = i < 0 ? QStringLiteral("/") : (i == 0 ? QString() : step) + QLatin1Char('/') + steps[i];
        struct stat info {};
        if (lstat(step.toLocal8Bit().constData(), &info) != 0)
            return QStringLiteral("%1 cannot be examined.").arg(step);
        if (info.st_uid != 0 && info.st_uid != getuid())
            return QStringLiteral("%1 belongs to user %2, not to root or to the user running the program. "
                                  "Give it to root (sudo chown root %1).")
                .arg(step)
                .arg(info.st_uid);
        const bool othersMayWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        if (S_ISLNK(info.st_mode) || !othersMayWrite || (S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)))
            continue;
        if (i == steps.size() - 1)
            return QStringLiteral("the file may be written by others than its owner. Remove group and "
                                  "world write permission (chmod go-w %1).")
                .arg(step);
        return QStringLiteral("its folder %1 may be written by others than its owner. Remove group and "
                              "world write permission (chmod go-w %1).")
            .arg(step);
    }
    return {};
}

// The Linux program is built for the machine its libraries are built for.
std::unique_ptr<Automate> openInHost(const QString&, const QString&)
{
    return nullptr;
}
