#pragma once

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QString>

#include <functional>

// The day's poll file: "dd-mm-yy.pol" in the working directory, one record per line ended
// by CR LF, bytes exactly as the terminal sent them.
class PollStore {
public:
    using Today = std::function<QDate()>;

    explicit PollStore(QDir dir, Today today = &QDate::currentDate);

    static QString fileName(const QDate &date);
    QString todaysFileName() const { return fileName(m_today()); }

    // Appends one record to the file named after the date at this moment (a transfer that
    // crosses midnight is split between the two days' files) and forces it to disk before
    // returning: only then may the terminal be told to forget it. Opens and closes the file
    // each time, so the file is complete after every line. False when the record is not
    // safely on disk.
    bool append(const QByteArray &record);

private:
    QDir m_dir;
    Today m_today;
};
