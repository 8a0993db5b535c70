#pragma once

#include "ship/CopyRows.h"
#include "ship/FileCursor.h"

#include <QByteArray>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QHash>
#include <QString>

#include <chrono>
#include <functional>

struct pg_conn;
struct pg_result;

namespace ship {

// What a file's row in the database says.
struct ShippedFile {
    qint32 fileId = 0;
    Position position;
};

// What a shipper knows of its folder, to find its station by.
struct StationClaim {
    QByteArray folderId; // empty when the folder has none
    QByteArray seenAs;   // host:path, as it is reached now
    QByteArray named;    // given by --station, else empty
};

struct StationFound {
    QByteArray station;
    QByteArray folderStation; // the station the folder's id is on, if any
    QByteArray wasSeenAs;     // the host:path the station was last reached by, if another
    bool created = false;
    bool adopted = false; // a station from before its folder had an id, now the folder's
};

// Who ships a station, and what the shop reports with each of its transactions.
struct StationReport {
    QByteArray station;
    QByteArray token;  // this shipper's own, random: the lease is held by it
    QByteArray holder; // who, for the log of another shipper kept waiting
    QByteArray host;
    QByteArray boot; // when the host started: a holder of this boot whose process is gone is gone
    qint64 pid = 0;
    QByteArray overrule; // the token of a holder known to be gone, else empty
    qint64 linesWaiting = 0;
    QByteArray pollers = "[]"; // JSON: the poller states found in the folder
};

// What a claim of the station found.
struct Claimed {
    bool tookOver = false; // from another holder, whose positions may differ from ours
    bool crowded = false;  // half the server's connections are taken: hold none idle
    // When another holds it:
    QString holder;
    QByteArray token, host, boot;
    qint64 pid = 0;
};

// One connection to the database, through libpq. Every call waits on the server's socket
// and on stopFd together: a stop request (stopFd readable) abandons the call and the
// connection, so the server rolls back what was not committed. A server that does not
// answer within the time-out counts as unreachable.
class PgSession {
public:
    enum class Outcome {
        Ok,
        Unreachable, // try again later
        Refused,     // the configuration is wrong: trying again will not help
        Conflict,    // someone else shipped this file meanwhile: read it again
        Held,        // another shipper holds the station
        Stopped,
    };
    static constexpr int kSchemaVersion = 4;

    PgSession(QByteArray conninfo, int stopFd,
              std::chrono::milliseconds timeout = std::chrono::seconds(30));
    ~PgSession();
    PgSession(const PgSession &) = delete;
    PgSession &operator=(const PgSession &) = delete;

    // "dbname on host as user", nothing secret; empty when conninfo does not parse (and
    // lastError() says why).
    static QString describe(const QByteArray &conninfo, QString *error);

    // "verify-full" when the connection goes over TCP to a host other than the loopback and
    // neither the connection string, a service file nor PGSSLMODE says what TLS it wants;
    // empty when libpq's own default stands.
    static QByteArray askedSslMode(const QByteArray &conninfo);
    // The connection string (keywords or URI) gives a password.
    static bool carriesPassword(const QByteArray &conninfo);

    // Connects, with an empty search path.
    Outcome open();
    // Makes sure the tables are there, of this version (an older one migrated), writable, and
    // the database not read-only.
    Outcome ensureTables();
    void close();
    bool isOpen() const { return m_conn != nullptr; }
    // The connection's socket, to watch for the server going away while idle; -1 if closed.
    int socket() const;
    // Reads what the server sent while idle; false when the connection is gone.
    bool stillThere();

    // The folder's station, by its id, else by the name given or its host and path, made if
    // there is none; the host and path it is reached by now recorded on it.
    Outcome findStation(const StationClaim &claim, StationFound *found);
    // The station's lease taken or renewed, with the report, in a transaction of its own:
    // Held, with who holds it, when another shipper does.
    Outcome report(const StationReport &report, Claimed *claimed);
    // The lease given back with a last report, within a short time even when stopping (a
    // connection made for it if there is none); false when it could not be.
    bool release(const StationReport &report);
    // The station's rows of that poll day, and when the last of them was shipped.
    Outcome today(const QByteArray &station, QDate day, qint64 *rows, QDateTime *last);
    // Called at least once a second while a call waits on the server.
    void setAlive(std::function<void()> alive) { m_alive = std::move(alive); }

    // Every file's position for this station.
    Outcome load(const QByteArray &station, QHash<QString, ShippedFile> &files);
    // The batch's rows and the file's new position, in one transaction,
    // provided the file still stands where expected and the station's lease is this
    // shipper's (renewed with the report).
    Outcome ship(const RowSource &source, const ShippedFile &expected, const Batch &batch,
                 const StationReport &report, Claimed *claimed, qint32 *fileId);

    QString lastError() const { return m_error; }

private:
    struct Result;
    enum class Waited { Ready, Stopped, TimedOut, Failed };
    static Outcome meaning(const QByteArray &state, bool gone);
    Outcome fail(const QString &what, pg_result *result = nullptr);
    // Until the socket is ready for writing (or reading), a stop, or the deadline.
    Waited wait(bool forWrite);
    // After a wait that did not end ready: the connection is closed.
    Outcome gaveUp(Waited waited);
    Outcome exec(const char *sql, const QList<QByteArray> &params, Result &result);
    Outcome collect(Result &result);
    Outcome execAll(const char *sql);
    Outcome copy(const QByteArray &data);
    Outcome rollback(Outcome why);
    // A transaction whose names are looked up in pg_catalog alone: nothing a session sets
    // survives a pooler, so each transaction sets it again.
    Outcome begin();
    // work in a transaction of its own, committed; rolled back when it fails.
    Outcome transaction(const std::function<Outcome()> &work);
    Outcome claim(const StationReport &report, Claimed *claimed);

    QByteArray m_conninfo;
    int m_stopFd;
    std::chrono::milliseconds m_timeout;
    pg_conn *m_conn = nullptr;
    QString m_error;
    QDeadlineTimer m_deadline; // of the call under way
    std::function<void()> m_alive;
};

} // namespace ship
