#pragma once

#include <QString>

// Which file, beyond its name: how the store, the shipper and the pollers' state files tell
// whether a name still leads to the file they knew. File systems hand a freed inode number to
// the next file at once, so the birth time (nanoseconds, from statx) tells apart the files
// that held one number in turn; it is 0 where the file system does not keep it.
struct FileId {
    quint64 inode = 0; // 0: no file
    qint64 birth = 0;

    bool operator==(const FileId &) const = default;

    // The file path leads to, or the one open as fd; an inode 0 when there is none.
    static FileId at(const QString &path);
    static FileId of(int fd);
    // The file open as fd still has a name, and path is it: it was not deleted, nor moved
    // (another file put in its place or not).
    static bool stillNamed(int fd, const QString &path);
};
