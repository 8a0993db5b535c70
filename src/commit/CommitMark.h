#pragma once

#include "commit/Durable.h"
#include "commit/FileId.h"

#include <QByteArray>
#include <QString>

#include <optional>

// How much of a poll file its store has made durable, published beside it for readers in
// other processes: "dd-mm-yy.pol" has ".dd-mm-yy.pol.committed", one line
//     corvane-committed 2 <id> <inode> <birth> <length> <since> <tail>
// Bytes past the length may still be cut back (a failed append) or be the torn remains of a
// killed store: a reader takes nothing beyond it. The id is new whenever a store
// starts marking the file: since is 0 when it created the file, so a file removed and written
// anew is never taken for the old one, and the size it found otherwise (a file of an older
// version, or one whose mark was lost). The inode and the file's birth time tie the mark to the
// file it was written for, so a file put there by other means (copied in, restored) is not
// judged by a stale mark (FileId).
struct CommitMark {
    QByteArray id; // new whenever a store starts marking the file: 16 hex digits
    FileId file;
    qint64 length = 0;
    qint64 since = 0;
    // A digest of the last bytes before length, filled in by writeFor: a file rewritten in
    // place (a backup copied over it keeps inode and birth) no longer ends its committed part
    // with them, and the mark no longer speaks for it.
    QByteArray tail = {};

    static QString pathFor(const QString &pollFile);
    static QByteArray newId();

    // What a reader finds beside the file at pollFile (MarkLookup). A mark applies only to
    // the file it names by inode and birth time (by the inode alone where the file system
    // keeps no birth time), and only while the file still ends its committed part with the
    // tail it names; otherwise it is no mark, and the file is taken as it stands.
    static struct MarkLookup lookUp(const QString &pollFile, FileId file);
    // The mark of that file, if any.
    static std::optional<CommitMark> readFor(const QString &pollFile, FileId file);
    // Replaces the mark, its tail read from pollFile, with durable::replaceFile: a mark that a
    // power cut could take back would let an older, shorter one cut committed records. Not
    // in place when the tail cannot be read.
    durable::Replaced writeFor(const QString &pollFile) const;

    QByteArray toLine() const;
    static std::optional<CommitMark> fromLine(const QByteArray &line);
};

// Only a mark that does not exist is absent: a mark that could not be read (a disk error, a
// permission) may still say less than the file holds, so nothing past the file's start may be
// judged or taken until it reads.
struct MarkLookup {
    std::optional<CommitMark> mark; // written for that very file
    bool unreadable = false;
    // Then which file could not be read (the mark, or the poll file for the tail the mark
    // names) and the errno of the call that failed, taken before any other call could
    // change it.
    QString unreadableFile = {};
    int error = 0;
};
