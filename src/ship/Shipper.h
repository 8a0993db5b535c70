#pragma once

#include "headless/ServiceNotifier.h"
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
// been away. Logs one line per event; under systemd, tells it when it is ready, that its loop
// is alive, and a status line.
class Shipper : public QObject {
    Q_OBJECT

public:
    // Exit statuses besides 0.
    static constexpr int kRefused = 1;
    static constexpr int kUnreachableOnce = 3;
    static constexpr int kUnreadableOnce = 4; // a file or the folder: the rest was shipped
    static constexpr int kNotAllOnce = 5;     // another shipper ships the station

    struct Options {
        QString dir;
        QByteArray conninfo;
        QString station;     // given by --station, else empty
        QString seenAs;      // host:path, as the folder is reached now
        QByteArray folderId; // the folder's own (FolderId), empty when it has none
        bool once = false;
        int stopFd = -1;   // readable once the shipper is to stop
        int idleMs = 5000; // how long a connection with nothing to do is kept
    };

    explicit Shipper(const Options &options, QObject *parent = nullptr);
    ~Shipper() override;

    void start();
    // Ends at once, telling systemd so.
    void stop() { finish(0); }

signals:
    void logLine(Priority priority, const QString &text);
    void finished(int exitStatus);

private:
    void watchFolder();
    // Looks at what changed, and ships and reports what it must, connecting for it.
    void work();
    // A connection, the tables checked and the station found once, and the station held
    // (positions loaded when it was not); false when there is none now.
    bool connected();
    void closeSession();
    // The folder's station, asked of the database once a run (again after an outage); says
    // which.
    PgSession::Outcome findStation();
    // Acts on a claim of the station: recorded when it held, a wait when another holds it.
    bool claimed(PgSession::Outcome outcome, const Claimed &claim);
    // A heartbeat, the first claim, or a poller's state not yet reported.
    bool reportDue() const { return m_reportDue || m_report.pollers != m_reportedPollers; }
    void waitForStation(const QString &holder);
    void unreachable();
    // "shipping; 12,345 rows today, last at 14:02; 0 waiting", to systemd; ready the first time.
    void tellStatus();
    void scan();
    void noticeName(const QString &name);
    void readEvents();
    void shipSoon();
    // The dirty files looked at, oldest day first; those left have lines to ship.
    QStringList lookAtDirty();
    QByteArray pollerStates() const;
    // Logs what changed; false when nothing can be shipped from the file now.
    bool look(FileCursor &cursor);
    void cannotRead(const FileCursor &cursor);
    // What could not be read, synced or shipped is tried again by m_reread.
    void rereadLater();
    QString laterText() const;
    void readAgain();
    // The folder synced since its marks were read, so that no mark that a power cut could
    // take back is shipped up to. False when it cannot be.
    bool folderSynced();
    // False when shipping cannot go on now (the database away, a refusal, a stop, the
    // folder not synced, the station lost).
    bool shipFile(FileCursor &cursor);
    // Acts on what the session reports (logs, stops, waits for the database); true when
    // shipping goes on.
    bool actOn(PgSession::Outcome outcome);
    void finish(int status);

    Options m_options;
    PgSession m_session;
    std::map<QString, std::unique_ptr<FileCursor>> m_files; // by name
    QHash<QString, ShippedFile> m_shipped;                  // as the database has them
    QSet<QString> m_dirty;
    QSet<QString> m_skipped;
    QSet<QString> m_unreadable; // logged once, tried again by m_reread
    QSet<QString> m_contested;  // another shipper kept shipping it: tried again by m_reread
    bool m_marksRead = false;   // since the folder was last synced
    bool m_unsynced = false;    // the last sync failed (logged once)
    int m_inotify = -1;
    std::unique_ptr<QSocketNotifier> m_events;
    std::unique_ptr<QSocketNotifier> m_serverWatch;
    StationReport m_report; // what the next claim of the station says; no station until the
                            // database says which
    QByteArray m_reportedPollers;
    bool m_reportDue = true; // a heartbeat, or the first claim
    bool m_prepared = false; // the tables checked and the station found
    bool m_crowded = false;  // the server had few connections to spare at the last claim
    bool m_statesChanged = false;
    QSet<QString> m_stateFiles;
    int m_failures = 0; // connections failed in a row, for the back-off
    QTimer m_retry;     // connects again, or tries the station again
    QTimer m_idle;      // lets an unused connection go
    QTimer m_heartbeat;
    QTimer m_scan; // when the folder cannot be watched
    QTimer m_ping; // the watchdog, fed from the event loop: a loop stuck starves it
    QTimer m_soon;
    QTimer m_reread; // what could not be read or synced: no event may say it can be now
    bool m_away = false;
    bool m_holding = false; // the station's lease is this shipper's, its positions loaded
    QString m_holder;       // who else has it, while waiting
    QTime m_since;          // when the database went away, or the wait for the station began
    QDate m_today;
    qint64 m_todayRows = 0; // of the poll file named after today
    QDateTime m_lastShipped;
    ServiceNotifier m_notifier;
    bool m_ready = false;
    bool m_done = false;
};

} // namespace ship
