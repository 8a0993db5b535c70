#pragma once

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QString>

#include "commit/CommitMark.h"

#include <functional>
#include <memory>
#include <optional>

// The day's poll file: "dd-mm-yy.pol" in the working directory, one record per line ended
// by CR LF, bytes exactly as the terminal sent them.
//
// A transfer appends its records with ordinary buffered writes and then either commits them
// (the whole memory came) or sets them aside (it broke off). The terminal keeps every record
// until it is told to clear them and then sends them all again, so only a commit puts a
// transfer in the poll file for good, and only a successful commit may let the terminal
// forget. What has been committed is published beside the file (CommitMark) for the shipper,
// which takes nothing beyond it.
class PollStore {
public:
    using Today = std::function<QDate()>;

    explicit PollStore(QDir dir, Today today = systemToday());
    // A transfer still open is set aside: it never finished.
    ~PollStore();

    // The PC's local date. Asking the C library costs a time-zone lookup each time and a
    // transfer asks once per record, so the answer is kept until the clock leaves that day.
    static Today systemToday();

    static QString fileName(const QDate &date);
    QString todaysFileName() const { return fileName(m_today()); }

    // Which terminal this store serves ("com1", a device's name): it names the file that
    // keeps a broken transfer, ".<name>.unfinished" in the folder.
    void setTerminalName(const QString &name) { m_terminalName = name; }
    QString terminalName() const { return m_terminalName; }
    const QDir &dir() const { return m_dir; }
    QString setAsidePath() const;

    // Adds one record to the file named after the date at which the transfer began: one
    // transfer, one file, so that one mark commits it. False when the record could not be
    // written. A record that the last committed transfer already stored is not added again
    // when the terminal was certainly not told to forget it (see clearMayGo): repeat says so.
    bool append(const QByteArray &record, bool *repeat = nullptr);

    // The transfer is complete: every record appended since the last commit is forced to
    // disk, its length published and the folder synced. True only when all of that succeeded
    // and the file's name still leads to the file written (not deleted or moved meanwhile);
    // otherwise the file is cut back to where the transfer began (a file that cannot be cut
    // fails every later transfer until it is). A transfer kept aside
    // earlier is removed once a complete one is stored: the terminal, never cleared since,
    // sent all of it again.
    bool commit();
    // Records of this transfer (or the last, until another begins) that an earlier one had
    // stored and the terminal had not been told to forget.
    qsizetype repeated() const { return m_repeated; }
    // Of the records a transfer brought, those it stored; none when it brought none (repeated()
    // still counts the last transfer's then).
    qsizetype newRecords(qsizetype brought) const { return brought > 0 ? brought - m_repeated : 0; }

    // The terminal is about to be told to forget what was committed: from here on nobody can
    // be sure it still holds those records, so the next transfer stores everything it brings.
    // Made durable (with every name the commit changed) before it returns; false when it
    // could not be, and then the clear must not go.
    bool clearMayGo();

    // The transfer broke off (stopped, port lost): its records are kept, synced, in
    // setAsidePath() (replacing what an earlier broken transfer left there) and cut back out
    // of the poll file, since the terminal sends them all again. False when they could not
    // be kept there; the poll file is cut back all the same. Kept there, but with the folder
    // not synced, they are kept: no clear goes before the folder is (clearMayGo).
    bool setAside();

    // Deletes a poll file and its mark, unless a store is writing to it: deleting it then
    // would take the transfer with it. InUse touches nothing. Unsynced: deleted, but the
    // folder could not be synced, so a power cut may bring the file back; Failed: it is
    // still there; Gone: there was no such file.
    enum class Removal { Removed, Unsynced, InUse, Failed, Gone };
    static Removal remove(const QString &path);

private:
    static constexpr qsizetype kPendingBytes = 256 * 1024;

    // The poll file this transfer writes.
    struct Part {
        std::unique_ptr<QFile> file;
        CommitMark mark;      // as published
        qint64 startSize = 0; // committed before this transfer
        FileId id;
        qint64 written = 0; // by this transfer
    };

    // The records the last commits stored and the terminal was certainly not told to forget:
    // where they lie in their poll file. Kept in a note beside the poll files (written after
    // the commit is durable, removed durably before the clear), so a restart knows it too.
    struct Uncleared {
        QString fileName;
        FileId id;
        qint64 start = 0, end = 0;
        QByteArray bytes; // read back from the file when a transfer begins

        // The note's one line, without the bytes.
        QByteArray toLine() const;
        static std::optional<Uncleared> fromLine(const QByteArray &line);
    };

    bool open(const QDate &today);
    void writePending();
    bool publish();
    // Cuts the file back to where the transfer began; a mark already moved on goes back too.
    // A part that cannot be is kept, and cut back before any other transfer is stored.
    void cutBack();
    // False when the file could not be cut.
    static bool cutBack(Part &part);
    // Whether no failed transfer is left in a poll file, trying again to cut back one that
    // was: stored after it, its records, which the terminal sends again, would be there twice.
    bool leftoversGone();
    void closeAll();
    QString unclearedPath() const;
    void noteUncleared(const Part &part);
    // The records the transfer may repeat, read back and checked against the file.
    QByteArray repeatable();

    QDir m_dir;
    Today m_today;
    QString m_terminalName = QStringLiteral("terminal");
    std::optional<Part> m_part;
    // A failed transfer's part that could not be cut back.
    std::optional<Part> m_uncut;
    QByteArray m_pending;  // appended records not yet handed to the file
    bool m_failed = false; // something since the last commit did not make it
    std::optional<Uncleared> m_uncleared;
    bool m_unclearedRead = false; // the note was looked for (the terminal's name is known)
    // How many bytes of this transfer's leading records matched the uncleared ones, and
    // whether the next record may still match (no record so far did not).
    qsizetype m_matched = 0;
    bool m_matching = true;
    qsizetype m_repeated = 0;
    bool m_begun = false; // a record of this transfer has come
    bool m_hasFolderId = false;
};
