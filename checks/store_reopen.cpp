// store_reopen: the next transfer after a power cut, on folders rebuilt from a trace by
// checks/crash_replay.py. For each FOLDER RECORDS pair, stores the records (separated by "|")
// in the day's file there as the poller of com1 would, as one transfer, and prints "ok" or
// "failed", one line each. One process for all of them: thousands of folders are checked in
// one run.
//
//   store_reopen YYYY-MM-DD FOLDER RECORDS [FOLDER RECORDS]...
#include "core/polling/PollStore.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QDate date = args.isEmpty() ? QDate() : QDate::fromString(args[0], Qt::ISODate);
    if (!date.isValid() || args.size() % 2 != 1) {
        std::fprintf(stderr, "usage: store_reopen YYYY-MM-DD FOLDER RECORDS [FOLDER RECORDS]...\n");
        return 2;
    }
    for (qsizetype i = 1; i < args.size(); i += 2) {
        bool ok = false;
        {
            PollStore store(QDir(args[i]), [date] { return date; });
            store.setTerminalName(QStringLiteral("com1"));
            ok = true;
            for (const QString &record : args[i + 1].split(QLatin1Char('|')))
                ok = store.append(record.toLatin1()) && ok;
            ok = store.commit() && ok;
        }
        std::printf("%s\n", ok ? "ok" : "failed");
    }
    return 0;
}
