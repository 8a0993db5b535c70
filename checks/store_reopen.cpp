// store_reopen: the next transfer after a power cut, on folders rebuilt from a trace by
// checks/crash_replay.py. For each FOLDER RECORD pair, stores RECORD in the day's file there as
// the poller would, and prints "ok" or "failed", one line each. One process for all of them:
// thousands of folders are checked in one run.
//
//   store_reopen YYYY-MM-DD FOLDER RECORD [FOLDER RECORD]...
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
        std::fprintf(stderr, "usage: store_reopen YYYY-MM-DD FOLDER RECORD [FOLDER RECORD]...\n");
        return 2;
    }
    for (qsizetype i = 1; i < args.size(); i += 2) {
        bool ok = false;
        {
            PollStore store(QDir(args[i]), [date] { return date; });
            ok = store.append(args[i + 1].toUtf8());
            ok = store.commit() && ok;
        }
        std::printf("%s\n", ok ? "ok" : "failed");
    }
    return 0;
}
