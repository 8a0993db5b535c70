#pragma once

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QString>

#include "commit/CommitMark.h"

#include <functional>
#include <memory>
#include <vector>

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
    QString setAsidePath() const;

    // Adds one record to the file named after the date at this moment: a transfer that
    // crosses midnight is split between the two days' files. False when the record could not
    // be written.
    bool append(const QByteArray &record);

    // The transfer is complete: every record appended since the last commit is forced to
    // disk, its length published and the folder synced. True only when all of that succeeded
    // and each file's name still leads to the file written (not deleted or moved meanwhile);
    // otherwise the files are cut back to where the transfer began. A transfer kept aside
    // earlier is removed once a complete one is stored: the terminal, never cleared since,
    // sent all of it again.
    bool commit();

    // The transfer broke off (stopped, port lost): its records are kept, synced, in
    // setAsidePath() (replacing what an earlier broken transfer left there) and cut back out
    // of the poll files, since the terminal sends them all again. False when they could not
    // be kept there; the poll files are cut back all the same.
    bool setAside();

    // Deletes a poll file and its mark, unless a store is writing to it: deleting it then
    // would take the transfer with it. InUse touches nothing.
    enum class Removal { Removed, InUse, Failed };
    static Removal remove(const QString &path);

private:
    static constexpr qsizetype kPendingBytes = 256 * 1024;

    // A poll file this transfer writes: usually one, two when it crosses midnight.
    struct Part {
        std::unique_ptr<QFile> file;
        QDate date;
        CommitMark mark;      // as published
        qint64 startSize = 0; // committed before this transfer
        quint64 device = 0, inode = 0;
        bool stillNamed() const;
    };

    bool open(const QDate &today);
    void writePending();
    bool publish();
    // Cuts every file back to where the transfer began; marks already moved on go back too.
    void cutBack();
    void closeAll();

    QDir m_dir;
    Today m_today;
    QString m_terminalName = QStringLiteral("terminal");
    std::vector<Part> m_parts;
    QByteArray m_pending;  // appended records not yet handed to the last part's file
    bool m_failed = false; // something since the last commit did not make it
};
