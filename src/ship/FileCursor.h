#pragma once

#include "commit/CommitMark.h"
#include "commit/FileId.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace ship {

// "dd-mm-yy.pol" in any letter case, named after a real day: the day (20yy), else nothing.
std::optional<QDate> pollDay(const QString &fileName);

// FNV-1a, 64 bits: a fingerprint of what was shipped from a file, kept with its position so
// that a file changed under what was shipped is noticed. Extends a running value.
constexpr quint64 kFnvStart = 14695981039346656037ull;
quint64 fnv1a(quint64 hash, const char *data, qsizetype size);

// Where the shipping of one file stands: as the database has it, or as a batch leaves it.
struct Position {
    int generation = 0;       // 0: nothing shipped from the file yet
    QByteArray markId;        // the store's mark id the rows came from, empty when unmarked
    qint64 offset = 0;        // bytes shipped: every line before this one
    quint64 hash = kFnvStart; // of those bytes

    bool operator==(const Position &) const = default;
};

// Complete lines of a file from one position on, as one batch of rows.
struct Batch {
    Position from, to;
    QByteArray bytes;     // the file's bytes from from.offset to to.offset
    QList<qint64> starts; // each line's offset in bytes; the line runs to the next CR LF
    int replaces = 0;     // the generation it replaces (the file was edited), 0 if none
    qsizetype count() const { return starts.size(); }
    QByteArray record(qsizetype i) const;
};

// The complete lines of bytes read at from.offset, as a batch: nothing past the last CR LF;
// nothing at all without one.
std::optional<Batch> wholeLines(const Position &from, QByteArray bytes);

// One poll file as the shipper follows it: what it may ship next, and whether the file is
// still the one it shipped from.
class FileCursor {
public:
    enum class Change { None, Gone, Rewritten, Edited, Unreadable };

    FileCursor(QString path, QDate day);

    const QString &path() const { return m_path; }
    QString name() const;
    QDate day() const { return m_day; }

    // What the database holds for this file; the next look at the file checks it against
    // the file before anything more is shipped.
    void setShipped(const Position &shipped);
    const Position &shipped() const { return m_shipped; }
    // Where the next batch starts: the shipped position, or a new generation at 0.
    const Position &next() const { return m_next; }

    // Looks at the file again. Rewritten: a store created it anew; Edited: it no longer
    // begins with what was shipped, and the next batch replaces the generation shipped.
    // Either way the next batch starts a new generation. Unreadable: the file or its mark
    // could not be read (readError() says why), and nothing is judged or shipped until a
    // later look reads them.
    Change look();
    // The last look read the file and its mark (an empty file is not read).
    bool judged() const { return m_checked; }
    // Complete lines past next(), up to what the file's store has committed (all of it for
    // an unmarked file), about maxBytes of them; empty when there are none, or when the
    // file cannot be read (readError() says why).
    std::optional<Batch> batch(qint64 maxBytes);
    // Why the file could not be read since it last was; empty when it was.
    const QString &readError() const { return m_readError; }
    // The batch is in the database: the next one starts where it ended.
    void advancePast(const Batch &batch);
    // Reads the file for the complete lines committed past next(), as of the last look; 0
    // when unknown. A file that cannot be read counts as judged no more (readError()).
    qint64 countWaiting();

private:
    // Empty when the file cannot be read.
    std::optional<quint64> prefixHash(qint64 length);
    std::nullopt_t cannotRead(const QString &why);

    QString m_path;
    QDate m_day;
    Position m_shipped; // as the database has it
    Position m_next;
    bool m_checked = false; // m_next was checked against the file as it is now
    FileId m_file;          // as the last look found it
    qint64 m_limit = 0;     // the committed length, or the size of an unmarked file
    int m_replaces = 0;     // the generation the next batch replaces
    // countWaiting() counts only what was added since it last counted from the same place.
    Position m_countedFrom;
    qint64 m_countedTo = 0;
    qint64 m_counted = 0;
    QString m_readError;
};

} // namespace ship
