#include "commit/Durable.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace durable {

Synced syncFolder(const QString &dirPath)
{
    const int fd =
        ::open(QFile::encodeName(dirPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {errno};
    const Synced synced{::fsync(fd) == 0 ? 0 : errno};
    ::close(fd);
    return synced;
}

Replaced replaceFile(const QString &path, const std::function<bool(int)> &fill)
{
    const QByteArray temp = QFile::encodeName(path + QStringLiteral(".new"));
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return {};
    const bool written = fill(fd) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed ||
        std::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        // Should this fail too, the temporary left behind is read by nobody, and the next
        // replacement truncates it.
        ::unlink(temp.constData());
        return {};
    }
    return {true, bool(syncFolder(QFileInfo(path).absolutePath()))};
}

} // namespace durable
