#pragma once

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QString>

#include "polling/CommitMark.h"

#include <functional>

// The day's poll file: "dd-mm-yy.pol" in the working directory, one record per line ended
// by CR LF, bytes exactly as the terminal sent them.
//
// A transfer appends its records with ordinary buffered writes and then commits them with
// one sync: the terminal keeps every record until it is told to clear them, so a record lost
// to a crash before the commit is fetched again, never lost. Only a successful commit may
// let the terminal forget. What has been committed is published beside the file (CommitMark)
// for the shipper, which takes nothing beyond it.
class PollStore {
public:
    using Today = std::function<QDate()>;

    explicit PollStore(QDir dir, Today today = systemToday());
    ~PollStore();

    // The PC's local date. Asking the C library costs a time-zone lookup each time and a
    // transfer asks once per record, so the answer is kept until the clock leaves that day.
    static Today systemToday();

    static QString fileName(const QDate &date);
    QString todaysFileName() const { return fileName(m_today()); }

    // Adds one record to the file named after the date at this moment: a transfer that
    // crosses midnight is split between the two days' files (the first one is synced as the
    // day changes). False when the record could not be written.
    bool append(const QByteArray &record);

    // Forces every record appended since the last commit to disk (the file, and its
    // directory when the file was created) and closes the file. True only when all of them
    // were written and synced; otherwise the file is cut back to where the transfer began.
    bool commit();

private:
    static constexpr qsizetype kPendingBytes = 256 * 1024;

    bool open(const QDate &today);
    void writePending();
    bool syncAndClose();

    QDir m_dir;
    Today m_today;
    QFile m_file;
    QByteArray m_pending; // appended records not yet handed to the file
    QDate m_fileDate;
    CommitMark m_mark;      // of the open file
    qint64 m_startSize = 0; // the open file's committed size before this transfer
    bool m_created = false; // the open file is new: its directory entry needs a sync too
    bool m_failed = false;  // something since the last commit did not make it
};
