#include "WorkingFolder.h"

#include <QDir>
#include <QFileInfo>

namespace workingfolder {

QString userFolderPath(const QString &home)
{
    return QDir(home).absoluteFilePath(QLatin1String(kUserFolderName));
}

QString ensureUserFolder(const QString &home)
{
    if (home.isEmpty())
        return {};
    const QString path = userFolderPath(home);
    // mkpath succeeds on an existing folder, and fails on a file or dangling link in its place.
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir())
        return {};
    return QDir(path).canonicalPath();
}

} // namespace workingfolder
