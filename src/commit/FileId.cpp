#include "commit/FileId.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

struct Found {
    FileId id;
    quint32 links = 0;
};

Found look(int dirFd, const char *path, int flags)
{
    struct statx st {};
    if (::statx(dirFd, path, flags, STATX_INO | STATX_BTIME | STATX_NLINK, &st) != 0)
        return {};
    const qint64 birth = (st.stx_mask & STATX_BTIME)
                             ? qint64(st.stx_btime.tv_sec) * 1000000000 + st.stx_btime.tv_nsec
                             : 0;
    return {{quint64(st.stx_ino), birth}, st.stx_nlink};
}

} // namespace

FileId FileId::at(const QString &path)
{
    return look(AT_FDCWD, QFile::encodeName(path).constData(), 0).id;
}

FileId FileId::of(int fd)
{
    return look(fd, "", AT_EMPTY_PATH).id;
}

bool FileId::stillNamed(int fd, const QString &path)
{
    // The link count too: where the file system keeps no birth time, a file made after the
    // held one was deleted may have its inode number.
    const Found held = look(fd, "", AT_EMPTY_PATH);
    return held.links > 0 && held.id == at(path);
}
