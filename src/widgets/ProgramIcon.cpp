#include "ProgramIcon.h"

#include <QDir>

QIcon programIcon()
{
    QIcon icon;
    // The sizes are whatever the build put under :/icons; each file says its own size.
    for (const QFileInfo &file : QDir(QStringLiteral(":/icons")).entryInfoList(QDir::Files))
        icon.addFile(file.filePath());
    return icon;
}
