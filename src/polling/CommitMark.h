#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// How much of a poll file its store has made durable, published beside it for readers in
// other processes: "dd-mm-yy.pol" has ".dd-mm-yy.pol.committed", one line
//     corvane-committed 1 <generation> <inode> <length> <since>
// Bytes past the length may still be cut back (a failed append) or be the torn remains of a
// killed store: a reader takes nothing beyond it. The generation is new whenever a store
// starts marking the file: since is 0 when it created the file, so a file removed and written
// anew is never taken for the old one, and the size it found otherwise (a file of an older
// version, or one whose mark was lost). The inode ties the mark to the file it was written
// for, so a file put there by other means (copied in, restored) is not judged by a stale mark.
struct CommitMark {
    QByteArray generation;
    quint64 inode = 0;
    qint64 length = 0;
    qint64 since = 0;

    static QString pathFor(const QString &pollFile);
    static QByteArray newGeneration();
    // The inode of the file at path, 0 when there is none.
    static quint64 inodeOf(const QString &path);

    // What a reader finds beside the file at pollFile (MarkLookup).
    static struct MarkLookup lookUp(const QString &pollFile, quint64 inode);
    // The mark of the file at pollFile when it was written for that inode.
    static std::optional<CommitMark> readFor(const QString &pollFile, quint64 inode);
    // Replaces the mark at once for every reader (a new file renamed over the old), after
    // forcing it to disk, and makes the rename itself durable (the folder synced): a mark
    // that a power cut could take back would let an older, shorter one cut committed records.
    bool writeFor(const QString &pollFile) const;

    // Forces a folder's entries (names created, renamed, removed) to disk.
    static bool syncFolder(const QString &dirPath);

    QByteArray toLine() const;
    static std::optional<CommitMark> fromLine(const QByteArray &line);
};

// Only a mark that does not exist is absent: a mark that could not be read (a disk error, a
// permission) may still say less than the file holds, so nothing past the file's start may be
// judged or taken until it reads.
struct MarkLookup {
    std::optional<CommitMark> mark; // written for that inode
    bool unreadable = false;
};
