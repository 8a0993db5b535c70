#pragma once

#include "ship/FileCursor.h"
#include "ship/PgSession.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <map>
#include <memory>

namespace ship {

// Ships every committed record line of the poll files in one folder into the database, each
// once: at start, then whenever a file changes (inotify), and again after the database has
// been away. Logs one line per event.
class Shipper : public QObject {
    Q_OBJECT

public:
    enum Priority { Error = 3, Warning = 4, Info = 6 };
    // Exit statuses besides 0.
    static constexpr int kRefused = 1;
    static constexpr int kUnreachableOnce = 3;
    static constexpr int kUnreadableOnce = 4; // a file or the folder: the rest was shipped

    struct Options {
        QString dir;
        QByteArray conninfo;
        QString station;
        bool once = false;
        int stopFd = -1; // readable once the shipper is to stop
    };

    explicit Shipper(const Options &options, QObject *parent = nullptr);
    ~Shipper() override;

    void start();

signals:
    void logLine(int priority, const QString &text);
    void finished(int exitStatus);

private:
    void connectDatabase();
    void unreachable();
    void scan();
    void noticeName(const QString &name);
    void readEvents();
    void shipSoon();
    void shipAll();
    // Logs what changed; false when nothing can be shipped from the file now.
    bool look(FileCursor &cursor);
    void cannotRead(const FileCursor &cursor);
    QString laterText() const;
    void readAgain();
    // The folder synced since its marks were read, so that no mark that a power cut could
    // take back is shipped up to. False when it cannot be.
    bool folderSynced();
    // False when shipping cannot go on now (the database away, a refusal, a stop, the
    // folder not synced).
    bool shipFile(FileCursor &cursor);
    bool handle(PgSession::Outcome outcome);
    void finish(int status);

    Options m_options;
    QByteArray m_station;
    PgSession m_session;
    std::map<QString, std::unique_ptr<FileCursor>> m_files; // by name, oldest name first
    QHash<QString, ShippedFile> m_shipped;                  // as the database has them
    QSet<QString> m_dirty;
    QSet<QString> m_skipped;
    QSet<QString> m_unreadable; // logged once, tried again by m_reread
    bool m_marksRead = false;   // since the folder was last synced
    bool m_unsynced = false;    // the last sync failed (logged once)
    int m_inotify = -1;
    std::unique_ptr<QSocketNotifier> m_events;
    std::unique_ptr<QSocketNotifier> m_serverWatch;
    QTimer m_retry;
    QTimer m_soon;
    QTimer m_reread; // what could not be read or synced: no event may say it can be now
    int m_retryMs = 1000;
    bool m_away = false;
    bool m_done = false;
};

} // namespace ship
