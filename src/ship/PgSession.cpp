#include "ship/PgSession.h"

#include <QRegularExpression>

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <cerrno>
#include <iterator>
#include <memory>
#include <poll.h>

namespace ship {

namespace {

// The search path each transaction sets for itself, as PostgreSQL's own client programs do
// for their session: no name is looked up in a schema another role may write. Nothing a
// session sets survives a pooler, which may give each transaction another connection.
constexpr char kOwnSearchPath[] = "SELECT pg_catalog.set_config('search_path', '', true);\n";
// Taken by the creation of the tables and by every migration, so one shipper does each.
constexpr char kSchemaLock[] = "SELECT pg_catalog.pg_advisory_xact_lock(7403260001);\n";
// Taken while a folder's station is found or made (findStation).
constexpr char kStationLock[] = "SELECT pg_catalog.pg_advisory_xact_lock(7403260003)";

// Said when the connection itself failed, before libpq's own message.
const QString kConnectionFailed = QStringLiteral("the database connection failed");

// Made once by the first shipper to reach the database, as version 1; kMigrations then bring
// it to kSchemaVersion, a fresh database as an old one.
constexpr char kCreateSchema[] = R"sql(
CREATE TABLE IF NOT EXISTS public.corvane_schema (version integer NOT NULL);
CREATE TABLE IF NOT EXISTS public.corvane_files (
    file_id serial PRIMARY KEY,
    station text NOT NULL,
    file_name text NOT NULL,
    poll_day date NOT NULL,
    generation integer NOT NULL DEFAULT 0,
    mark_id text NOT NULL DEFAULT '',
    shipped bigint NOT NULL DEFAULT 0,
    prefix_hash bigint NOT NULL DEFAULT 0,
    shipped_at timestamptz,
    UNIQUE (station, file_name));
CREATE TABLE IF NOT EXISTS public.corvane_records (
    file_id integer NOT NULL,
    station text NOT NULL,
    file_name text NOT NULL,
    generation integer NOT NULL,
    file_offset bigint NOT NULL,
    poll_day date NOT NULL,
    record bytea NOT NULL,
    shipped_at timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (file_id, generation, file_offset));
CREATE INDEX IF NOT EXISTS corvane_records_day ON public.corvane_records (poll_day, station);
-- Codes are read as Latin-1; a record holding a NUL, which text cannot, is shown escaped.
CREATE OR REPLACE VIEW public.corvane_items AS
    SELECT station, poll_day, file_name, generation, file_offset, shipped_at,
           substring(t FROM '^[^;\t]*') AS code,
           CAST(substring(t FROM '^[^;\t]*[;\t] *([+-]?[0-9]{1,18}) *$') AS bigint) AS quantity
    FROM (SELECT *, CASE WHEN position('\x00'::bytea IN record) = 0
                         THEN convert_from(record, 'LATIN1')
                         ELSE encode(record, 'escape') END AS t
          FROM public.corvane_records) r;
INSERT INTO public.corvane_schema SELECT 1 WHERE NOT EXISTS (SELECT FROM public.corvane_schema);
)sql";

// kMigrations[n - 1] takes version n to n + 1 (migration() runs it).
constexpr const char *kMigrations[] = {
    // An edited file's content replaces the generation shipped before: its rows stay, but the
    // view no longer counts them. One row per replaced generation, not a flag on every record,
    // so that an edit writes one row and the records stay as they were shipped.
    R"sql(
CREATE TABLE public.corvane_replaced (
    file_id integer NOT NULL,
    generation integer NOT NULL,
    replaced_at timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (file_id, generation));
CREATE OR REPLACE VIEW public.corvane_items AS
    SELECT station, poll_day, file_name, generation, file_offset, shipped_at,
           substring(t FROM '^[^;\t]*') AS code,
           CAST(substring(t FROM '^[^;\t]*[;\t] *([+-]?[0-9]{1,18}) *$') AS bigint) AS quantity
    FROM (SELECT *, CASE WHEN position('\x00'::bytea IN record) = 0
                         THEN convert_from(record, 'LATIN1')
                         ELSE encode(record, 'escape') END AS t
          FROM public.corvane_records r
          WHERE NOT EXISTS (SELECT FROM public.corvane_replaced x
                            WHERE x.file_id = r.file_id AND x.generation = r.generation)) r;
)sql",
    // A station is a folder: the id the folder keeps (none for a station shipped before
    // folders had one, until a shipper of its folder takes it over) and the host and path it
    // was last reached by. The stations already shipped are kept, by name.
    R"sql(
CREATE TABLE public.corvane_stations (
    station text PRIMARY KEY,
    folder_id text UNIQUE,
    seen_as text,
    seen_at timestamptz);
INSERT INTO public.corvane_stations (station) SELECT DISTINCT station FROM public.corvane_files;
)sql",
    // One shipper per station, whoever it reaches the server through: a lease on the
    // station's row, renewed in each batch's transaction, given back on the way out. The
    // same row carries what the shop last reported, and corvane_fleet shows the chain.
    R"sql(
ALTER TABLE public.corvane_stations
    ADD COLUMN holder text,
    ADD COLUMN holder_token text,
    ADD COLUMN holder_host text,
    ADD COLUMN holder_boot text,
    ADD COLUMN holder_pid integer,
    ADD COLUMN lease_until timestamptz,
    ADD COLUMN stopped_at timestamptz,
    ADD COLUMN reported_at timestamptz,
    ADD COLUMN lines_waiting bigint,
    ADD COLUMN pollers jsonb NOT NULL DEFAULT '[]';
-- A row per station and poller (a station without one shows its shipper alone).
CREATE VIEW public.corvane_fleet AS
    SELECT s.station, s.seen_as,
           CASE WHEN s.holder_token IS NOT NULL AND s.lease_until >= now() THEN 'shipping'
                WHEN s.holder_token IS NULL AND s.stopped_at IS NOT NULL THEN 'stopped'
                WHEN s.reported_at IS NULL THEN 'never reported'
                ELSE 'not reporting' END AS shipper,
           s.reported_at, s.lines_waiting,
           p.terminal, p.program, p.state AS poller, p.since, p.last_transfer, p.last_records,
           p.set_aside, coalesce(t.records, 0) AS records_today
    FROM public.corvane_stations s
    LEFT JOIN LATERAL jsonb_to_recordset(s.pollers) AS p(terminal text, program text,
        state text, since timestamptz, last_transfer timestamptz, last_records bigint,
        set_aside bigint) ON true
    -- Counted once for all stations, not once per row: a subquery per row is costed so high
    -- on a small table that the server compiles the query (JIT) for seconds.
    LEFT JOIN (SELECT station, count(*) AS records FROM public.corvane_items
               WHERE poll_day = current_date GROUP BY station) t ON t.station = s.station;
)sql",
};
static_assert(std::size(kMigrations) == PgSession::kSchemaVersion - 1);

// Under the schema's lock, in one transaction.
QByteArray locked(const QByteArray &sql)
{
    return QByteArray("BEGIN;\n") + kOwnSearchPath + kSchemaLock + sql + "COMMIT;\n";
}

// The migration from version, if the tables are still of it: a database another shipper
// migrated meanwhile is left as it is.
QByteArray migration(int version)
{
    return locked("DO $migrate$ BEGIN\nIF (SELECT max(version) FROM public.corvane_schema) = " +
                  QByteArray::number(version) + " THEN\n" + kMigrations[version - 1] +
                  "UPDATE public.corvane_schema SET version = " + QByteArray::number(version + 1) +
                  ";\nEND IF;\nEND $migrate$;\n");
}

// What trying again may mend, by SQLSTATE: a whole class (two characters) or one code, the code
// first; anything else is a refusal. The server away, starting or stopping, short of resources
// (a full disk among them), a standby after a failover, a conflict with another transaction, a
// time-out or a cancel. No SQLSTATE at all is libpq's own failure to reach the server.
struct StateClass {
    const char *state;
    bool transient;
};
constexpr StateClass kStates[] = {
    {"08", true},     // connection exception
    {"25006", true},  // read-only transaction: a standby, or the database set read-only
    {"40", true},     // transaction rollback: serialization failure, deadlock
    {"53", true},     // insufficient resources: disk full, out of memory, too many connections
    {"55006", true},  // object in use
    {"55P03", true},  // lock not available: a lock time-out
    {"57014", true},  // statement time-out, or cancelled
    {"57P01", true},  // the server shutting down
    {"57P02", true},  // crash shutdown
    {"57P03", true},  // the server starting up
    {"57P04", false}, // the database dropped
    {"57P05", true},  // idle session time-out
    {"58", true},     // system error: I/O
};

bool transient(const QByteArray &state)
{
    if (state.isEmpty())
        return true;
    for (const qsizetype length : {5, 2}) {
        for (const StateClass &c : kStates) {
            if (qstrlen(c.state) == size_t(length) && state.startsWith(c.state))
                return c.transient;
        }
    }
    return false;
}

bool loopback(const QByteArray &address)
{
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, address.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    return ::inet_pton(AF_INET6, address.constData(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

QString oneLine(const char *text)
{
    return QString::fromUtf8(text).simplified();
}

// What the connection string itself sets, by keyword; nothing, with libpq's reason in error,
// when it does not parse.
QHash<QByteArray, QString> givenOptions(const QByteArray &conninfo, QString *error = nullptr)
{
    char *message = nullptr;
    PQconninfoOption *options = PQconninfoParse(conninfo.constData(), &message);
    if (!options) {
        if (error)
            *error = message ? oneLine(message) : QStringLiteral("out of memory");
        PQfreemem(message);
        return {};
    }
    QHash<QByteArray, QString> given;
    for (PQconninfoOption *o = options; o->keyword; ++o) {
        if (o->val && *o->val)
            given.insert(o->keyword, QString::fromUtf8(o->val));
    }
    PQconninfoFree(options);
    return given;
}

} // namespace

struct PgSession::Result {
    std::unique_ptr<PGresult, decltype(&PQclear)> r{nullptr, &PQclear};
    ExecStatusType status() const { return r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR; }
    QByteArray value(int row, int column) const
    {
        return QByteArray(PQgetvalue(r.get(), row, column));
    }
    int rows() const { return r ? PQntuples(r.get()) : 0; }
};

PgSession::PgSession(QByteArray conninfo, int stopFd, std::chrono::milliseconds timeout)
    : m_conninfo(std::move(conninfo)), m_stopFd(stopFd), m_timeout(timeout)
{
}

PgSession::~PgSession()
{
    close();
}

QString PgSession::describe(const QByteArray &conninfo, QString *error)
{
    error->clear();
    const QHash<QByteArray, QString> set = givenOptions(conninfo, error);
    if (!error->isEmpty())
        return {};
    const auto or_ = [&](const char *key, const QString &fallback) {
        return set.value(
            key, qEnvironmentVariable(QByteArray("PG") + QByteArray(key).toUpper(), fallback));
    };
    return QStringLiteral("database %1 on %2 as %3")
        .arg(or_("dbname", QStringLiteral("(default)")), or_("host", QStringLiteral("(default)")),
             or_("user", QStringLiteral("(default)")));
}

int PgSession::socket() const
{
    return m_conn ? PQsocket(m_conn) : -1;
}

void PgSession::close()
{
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
}

// What a failure means. 23505, a unique key broken: another shipper's rows got there first.
PgSession::Outcome PgSession::meaning(const QByteArray &state, bool gone)
{
    if (state == "23505")
        return Outcome::Conflict;
    return gone || transient(state) ? Outcome::Unreachable : Outcome::Refused;
}

PgSession::Outcome PgSession::fail(const QString &what, pg_result *result)
{
    QByteArray state;
    QString text = what;
    if (result) {
        state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
        text += QStringLiteral(": ") + oneLine(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
    } else if (m_conn) {
        text += QStringLiteral(": ") + oneLine(PQerrorMessage(m_conn));
    }
    m_error = text;
    const bool gone = !m_conn || PQstatus(m_conn) == CONNECTION_BAD;
    const Outcome outcome = meaning(state, gone);
    if (gone)
        close();
    return outcome;
}

PgSession::Waited PgSession::wait(bool forWrite)
{
    for (;;) {
        if (m_alive)
            m_alive();
        const qint64 left = m_deadline.remainingTime();
        if (left <= 0) {
            m_error = QStringLiteral("no answer within %1 s").arg(m_timeout.count() / 1000);
            return Waited::TimedOut;
        }
        pollfd fds[2] = {{PQsocket(m_conn), short(forWrite ? POLLOUT : POLLIN), 0},
                         {m_stopFd, POLLIN, 0}};
        const int n = ::poll(fds, m_stopFd >= 0 ? 2 : 1, int(std::min<qint64>(left, 1000)));
        if (n < 0 && errno != EINTR)
            return Waited::Failed;
        if (m_stopFd >= 0 && fds[1].revents) {
            m_error = QStringLiteral("stopped");
            return Waited::Stopped;
        }
        if (n > 0 && fds[0].revents)
            return Waited::Ready;
    }
}

PgSession::Outcome PgSession::gaveUp(Waited waited)
{
    // Whatever the server was in the middle of is rolled back with the connection.
    close();
    return waited == Waited::Stopped ? Outcome::Stopped : Outcome::Unreachable;
}

QByteArray PgSession::askedSslMode(const QByteArray &conninfo)
{
    // libpq's own reading of the options, service file and environment included, without
    // connecting: a target_session_attrs it rejects stops it before the first packet.
    const char *keys[] = {"dbname", "target_session_attrs", nullptr};
    const char *values[] = {conninfo.constData(), "!", nullptr};
    PGconn *probe = PQconnectStartParams(keys, values, 1);
    QHash<QByteArray, QByteArray> in;
    if (PQconninfoOption *options = probe ? PQconninfo(probe) : nullptr) {
        for (PQconninfoOption *o = options; o->keyword; ++o)
            in.insert(o->keyword, o->val);
        PQconninfoFree(options);
    }
    PQfinish(probe);
    // Given anywhere, it stands; prefer, libpq's default, only where it can be told apart.
    if (in.value("sslmode", "prefer") != "prefer" || qEnvironmentVariableIsSet("PGSSLMODE") ||
        givenOptions(conninfo).contains("sslmode"))
        return {};
    const QList<QByteArray> hosts = in.value("host").split(',');
    const QList<QByteArray> addresses = in.value("hostaddr").split(',');
    for (qsizetype i = 0; i < std::max(hosts.size(), addresses.size()); ++i) {
        // The name, which a certificate is checked against, wins over the address: a tunnel
        // to a remote server listens on the loopback.
        const QByteArray host = hosts.value(i).trimmed(), address = addresses.value(i).trimmed();
        if (!host.isEmpty() ? !host.startsWith('/') && !host.startsWith('@') &&
                                  host.toLower() != "localhost" && !loopback(host)
                            : !address.isEmpty() && !loopback(address))
            return "verify-full";
    }
    return {};
}

bool PgSession::carriesPassword(const QByteArray &conninfo)
{
    return givenOptions(conninfo).contains("password");
}

PgSession::Outcome PgSession::open()
{
    close();
    m_deadline.setRemainingTime(m_timeout);
    // First, so that the connection string's own, or a service's, wins.
    const QByteArray sslmode = askedSslMode(m_conninfo);
    const char *keys[] = {"sslmode", "dbname", "fallback_application_name", "client_encoding",
                          nullptr};
    const char *values[] = {sslmode.constData(), m_conninfo.constData(), "corvane-ship", "UTF8",
                            nullptr};
    m_conn = PQconnectStartParams(keys, values, 1);
    if (!m_conn)
        return fail(QStringLiteral("cannot connect"));
    // The server's refusals then carry their SQLSTATE, whatever language it speaks.
    PQsetErrorVerbosity(m_conn, PQERRORS_VERBOSE);
    for (PostgresPollingStatusType polling = PGRES_POLLING_WRITING;;) {
        if (PQstatus(m_conn) == CONNECTION_BAD || polling == PGRES_POLLING_FAILED) {
            // "FATAL:  3D000: database ...": the severity in the server's language, two blanks,
            // the code. libpq's own failures (no server, no password) carry none.
            const QString raw = QString::fromUtf8(PQerrorMessage(m_conn));
            static const QRegularExpression code(QStringLiteral(":  ([0-9A-Z]{5}): "));
            const QByteArray state = code.match(raw).captured(1).toLatin1();
            QString message = raw.simplified();
            if (const qsizetype location = message.indexOf(QLatin1String(" LOCATION: "));
                location >= 0)
                message.truncate(location);
            // A server without TLS, or whose certificate does not verify, will not change.
            const bool tls = state.isEmpty() && (message.contains(QLatin1String("support SSL")) ||
                                                 message.contains(QLatin1String("certificate")));
            if (tls)
                message += QStringLiteral(" (give the server's root certificate with "
                                          "sslrootcert=FILE in --database, or sslmode=disable "
                                          "to ship unencrypted)");
            m_error = message;
            const bool refused = PQconnectionNeedsPassword(m_conn) || tls || !transient(state);
            close();
            return refused ? Outcome::Refused : Outcome::Unreachable;
        }
        if (polling == PGRES_POLLING_OK)
            break;
        if (const Waited w = wait(polling == PGRES_POLLING_WRITING); w != Waited::Ready)
            return gaveUp(w);
        polling = PQconnectPoll(m_conn);
    }
    PQsetErrorVerbosity(m_conn, PQERRORS_DEFAULT);
    if (PQsetnonblocking(m_conn, 1) != 0)
        return fail(QStringLiteral("cannot connect"));
    return Outcome::Ok;
}

PgSession::Outcome PgSession::begin()
{
    return execAll((QByteArray("BEGIN; ") + kOwnSearchPath).constData());
}

PgSession::Outcome PgSession::transaction(const std::function<Outcome()> &work)
{
    Outcome o = begin();
    if (o == Outcome::Ok)
        o = work();
    if (o == Outcome::Ok)
        o = execAll("COMMIT");
    return o == Outcome::Ok ? o : rollback(o);
}

PgSession::Outcome PgSession::findStation(const StationClaim &claim, StationFound *found)
{
    *found = {};
    const QByteArray &id = claim.folderId;
    Result r;
    // One shipper at a time decides, so that two of one folder end with one station.
    Outcome o = begin();
    if (o == Outcome::Ok)
        o = execAll(kStationLock);
    if (o == Outcome::Ok && !id.isEmpty())
        o = exec("SELECT station FROM public.corvane_stations WHERE folder_id = $1", {id}, r);
    if (o != Outcome::Ok)
        return rollback(o);
    found->folderStation = r.rows() == 1 ? r.value(0, 0) : QByteArray();
    if (!claim.named.isEmpty()) {
        found->station = claim.named;
    } else if (!found->folderStation.isEmpty() || id.isEmpty()) {
        found->station = id.isEmpty() ? claim.seenAs : found->folderStation;
    } else {
        // A new folder, or one shipped before it had an id: the station named after its host
        // and path, unless that is another folder's (this one took its place there).
        for (const QByteArray &name :
             {claim.seenAs, claim.seenAs + '#' + id.left(8), claim.seenAs + '#' + id}) {
            if (o = exec("SELECT folder_id IS NULL FROM public.corvane_stations WHERE station = $1",
                         {name}, r);
                o != Outcome::Ok)
                return rollback(o);
            if (r.rows() == 0 || r.value(0, 0) == "t") {
                found->station = name;
                break;
            }
        }
        if (found->station.isEmpty()) {
            m_error = QStringLiteral("every station name for the folder is another folder's");
            return rollback(Outcome::Refused);
        }
    }
    o = exec("INSERT INTO public.corvane_stations (station) VALUES ($1) ON CONFLICT DO NOTHING "
             "RETURNING station",
             {found->station}, r);
    found->created = o == Outcome::Ok && r.rows() == 1;
    // The id goes on the station if neither has another already.
    if (o == Outcome::Ok)
        o = exec("WITH old AS (SELECT seen_as, folder_id FROM public.corvane_stations "
                 "WHERE station = $1) "
                 "UPDATE public.corvane_stations SET seen_as = $2, seen_at = now(), "
                 "folder_id = coalesce(folder_id, nullif($3, '')) WHERE station = $1 "
                 "RETURNING (SELECT seen_as FROM old), (SELECT folder_id FROM old)",
                 {found->station, claim.seenAs, found->folderStation.isEmpty() ? id : ""}, r);
    if (o == Outcome::Ok)
        o = execAll("COMMIT");
    if (o != Outcome::Ok)
        // Not a conflict to ship past: nothing is shipped until the station is known.
        return rollback(o == Outcome::Conflict ? Outcome::Unreachable : o);
    found->adopted = !found->created && !id.isEmpty() && found->folderStation.isEmpty() &&
                     r.value(0, 1).isEmpty();
    if (const QByteArray was = r.value(0, 0); !was.isEmpty() && was != claim.seenAs)
        found->wasSeenAs = was;
    return Outcome::Ok;
}

namespace {

constexpr int kLeaseSeconds = 90;

} // namespace

PgSession::Outcome PgSession::claim(const StationReport &report, Claimed *claimed)
{
    *claimed = {};
    Result r;
    // The row locked first: a shipper taking over waits for the holder's batch to end, then
    // sees the lease it renewed.
    if (Outcome o = exec(
            "WITH old AS (SELECT holder_token FROM public.corvane_stations WHERE station = $1 "
            "FOR UPDATE) "
            "UPDATE public.corvane_stations SET holder = $2, holder_token = $3, holder_host = $4, "
            "holder_boot = $5, holder_pid = $6, lease_until = now() + make_interval(secs => $7), "
            "stopped_at = NULL, reported_at = now(), lines_waiting = $8, pollers = $9::jsonb "
            "WHERE station = $1 AND (holder_token IS NULL OR holder_token = $3 OR "
            "lease_until < now() OR holder_token = nullif($10, '')) "
            "RETURNING coalesce((SELECT holder_token FROM old) <> $3, false), "
            "(SELECT count(*) FROM pg_catalog.pg_stat_activity "
            "WHERE backend_type = 'client backend') * 2 >= "
            "pg_catalog.current_setting('max_connections')::integer",
            {report.station, report.holder, report.token, report.host, report.boot,
             QByteArray::number(report.pid), QByteArray::number(kLeaseSeconds),
             QByteArray::number(report.linesWaiting), report.pollers, report.overrule},
            r);
        o != Outcome::Ok)
        return o;
    if (r.rows() == 1) {
        claimed->tookOver = r.value(0, 0) == "t";
        claimed->crowded = r.value(0, 1) == "t";
        return Outcome::Ok;
    }
    if (Outcome o = exec("SELECT holder, holder_token, holder_host, holder_boot, holder_pid "
                         "FROM public.corvane_stations WHERE station = $1",
                         {report.station}, r);
        o != Outcome::Ok)
        return o;
    if (r.rows() == 0) {
        m_error = QStringLiteral("station %1 is no longer in corvane_stations")
                      .arg(QString::fromUtf8(report.station));
        return Outcome::Refused;
    }
    claimed->holder = QString::fromUtf8(r.value(0, 0));
    claimed->token = r.value(0, 1);
    claimed->host = r.value(0, 2);
    claimed->boot = r.value(0, 3);
    claimed->pid = r.value(0, 4).toLongLong();
    return Outcome::Held;
}

PgSession::Outcome PgSession::report(const StationReport &report, Claimed *claimed)
{
    return transaction([&] { return claim(report, claimed); });
}

bool PgSession::release(const StationReport &report)
{
    // A stop asked for must not abandon this one; the short time-out keeps the stop short.
    const int stopFd = std::exchange(m_stopFd, -1);
    const auto timeout = std::exchange(m_timeout, std::chrono::milliseconds(2000));
    Outcome o = isOpen() ? Outcome::Ok : open();
    Result r;
    if (o == Outcome::Ok)
        o = transaction([&] {
            return exec("UPDATE public.corvane_stations SET holder_token = NULL, "
                        "lease_until = NULL, stopped_at = now(), reported_at = now(), "
                        "lines_waiting = $3, pollers = $4::jsonb "
                        "WHERE station = $1 AND holder_token = $2",
                        {report.station, report.token, QByteArray::number(report.linesWaiting),
                         report.pollers},
                        r);
        });
    m_stopFd = stopFd;
    m_timeout = timeout;
    return o == Outcome::Ok;
}

PgSession::Outcome PgSession::today(const QByteArray &station, QDate day, qint64 *rows,
                                    QDateTime *last)
{
    Result r;
    if (Outcome o = transaction([&] {
            return exec("SELECT count(*), extract(epoch FROM max(shipped_at))::bigint "
                        "FROM public.corvane_records WHERE poll_day = $2 AND station = $1",
                        {station, day.toString(Qt::ISODate).toLatin1()}, r);
        });
        o != Outcome::Ok)
        return o;
    *rows = r.value(0, 0).toLongLong();
    *last = r.value(0, 1).isEmpty() ? QDateTime()
                                    : QDateTime::fromSecsSinceEpoch(r.value(0, 1).toLongLong());
    return Outcome::Ok;
}

bool PgSession::stillThere()
{
    if (!m_conn || !PQconsumeInput(m_conn) || PQstatus(m_conn) == CONNECTION_BAD) {
        m_error = m_conn ? oneLine(PQerrorMessage(m_conn)) : QString();
        close();
        return false;
    }
    while (PGnotify *n = PQnotifies(m_conn))
        PQfreemem(n);
    return true;
}

PgSession::Outcome PgSession::exec(const char *sql, const QList<QByteArray> &params, Result &result)
{
    if (!m_conn)
        return Outcome::Unreachable;
    m_deadline.setRemainingTime(m_timeout);
    QList<const char *> values;
    for (const QByteArray &p : params)
        values.append(p.constData());
    const bool sent = params.isEmpty() ? PQsendQuery(m_conn, sql)
                                       : PQsendQueryParams(m_conn, sql, int(params.size()), nullptr,
                                                           values.constData(), nullptr, nullptr, 0);
    if (!sent)
        return fail(kConnectionFailed);
    return collect(result);
}

PgSession::Outcome PgSession::collect(Result &result)
{
    for (int pending; (pending = PQflush(m_conn)) != 0;) {
        if (pending < 0)
            return fail(kConnectionFailed);
        if (const Waited w = wait(true); w != Waited::Ready)
            return gaveUp(w);
    }
    result.r.reset();
    Result error;
    for (;;) {
        while (PQisBusy(m_conn)) {
            if (const Waited w = wait(false); w != Waited::Ready)
                return gaveUp(w);
            if (!PQconsumeInput(m_conn))
                return fail(kConnectionFailed);
        }
        PGresult *r = PQgetResult(m_conn);
        if (!r)
            break;
        const ExecStatusType status = PQresultStatus(r);
        if (status == PGRES_COPY_IN) {
            result.r.reset(r);
            return Outcome::Ok;
        }
        if ((status == PGRES_FATAL_ERROR || status == PGRES_NONFATAL_ERROR) && !error.r)
            error.r.reset(r);
        else
            result.r.reset(r);
    }
    if (error.r)
        return fail(QStringLiteral("the database refused"), error.r.get());
    if (PQstatus(m_conn) == CONNECTION_BAD)
        return fail(kConnectionFailed);
    return Outcome::Ok;
}

PgSession::Outcome PgSession::execAll(const char *sql)
{
    Result ignored;
    return exec(sql, {}, ignored);
}

PgSession::Outcome PgSession::rollback(Outcome why)
{
    if (m_conn && PQtransactionStatus(m_conn) != PQTRANS_IDLE) {
        const QString error = m_error;
        if (execAll("ROLLBACK") != Outcome::Ok)
            close();
        m_error = error;
    }
    return why;
}

PgSession::Outcome PgSession::ensureTables()
{
    Result r;
    // Each check its own transaction, in one message with the search path it sets.
    const auto check = [this](const QByteArray &sql, Result &r) {
        return exec((kOwnSearchPath + sql).constData(), {}, r);
    };
    if (Outcome o = check("SELECT to_regclass('public.corvane_schema') IS NOT NULL", r);
        o != Outcome::Ok)
        return o;
    if (r.value(0, 0) != "t") {
        if (Outcome o = execAll(locked(kCreateSchema).constData()); o != Outcome::Ok) {
            m_error = QStringLiteral("cannot create the tables: ") + m_error;
            return rollback(o);
        }
    }
    if (Outcome o = check("SELECT max(version) FROM public.corvane_schema", r); o != Outcome::Ok)
        return o;
    for (int version = r.value(0, 0).toInt(), before = 0;
         version > before && version < kSchemaVersion;) {
        before = version;
        if (Outcome o = execAll(migration(version).constData()); o != Outcome::Ok) {
            m_error = QStringLiteral("cannot bring the tables from version %1 to %2: ")
                          .arg(version)
                          .arg(version + 1) +
                      m_error;
            return rollback(o);
        }
        if (Outcome o = check("SELECT max(version) FROM public.corvane_schema", r);
            o != Outcome::Ok)
            return o;
        version = r.value(0, 0).toInt();
    }
    if (r.value(0, 0).toInt() != kSchemaVersion) {
        m_error = QStringLiteral("the tables are of version %1, this shipper writes version %2")
                      .arg(QString::fromLatin1(r.value(0, 0)))
                      .arg(kSchemaVersion);
        return Outcome::Refused;
    }
    if (Outcome o =
            check("SELECT has_table_privilege('public.corvane_records', 'INSERT') AND "
                  "has_table_privilege('public.corvane_replaced', 'INSERT') AND "
                  "has_table_privilege('public.corvane_files', 'SELECT, INSERT, UPDATE') AND "
                  "has_table_privilege('public.corvane_stations', 'SELECT, INSERT, UPDATE') AND "
                  "has_sequence_privilege('public.corvane_files_file_id_seq', 'USAGE')",
                  r);
        o != Outcome::Ok)
        return o;
    if (r.value(0, 0) != "t") {
        m_error = QStringLiteral("no right to write corvane_records, corvane_replaced, "
                                 "corvane_files and corvane_stations");
        return Outcome::Refused;
    }
    // A standby, or a database set read-only, takes no rows for now; nor is it back until
    // it does.
    if (Outcome o = check("SELECT pg_catalog.current_setting('transaction_read_only')", r);
        o != Outcome::Ok)
        return o;
    if (r.value(0, 0) != "off") {
        m_error = QStringLiteral("the database is read-only");
        close();
        return Outcome::Unreachable;
    }
    return Outcome::Ok;
}

PgSession::Outcome PgSession::load(const QByteArray &station, QHash<QString, ShippedFile> &files)
{
    Result r;
    if (Outcome o = transaction([&] {
            return exec("SELECT file_name, file_id, generation, mark_id, shipped, prefix_hash "
                        "FROM public.corvane_files WHERE station = $1",
                        {station}, r);
        });
        o != Outcome::Ok)
        return o;
    files.clear();
    for (int i = 0; i < r.rows(); ++i) {
        ShippedFile f;
        f.fileId = r.value(i, 1).toInt();
        f.position = Position{r.value(i, 2).toInt(), r.value(i, 3), r.value(i, 4).toLongLong(),
                              quint64(r.value(i, 5).toLongLong())};
        files.insert(QString::fromUtf8(r.value(i, 0)), f);
    }
    return Outcome::Ok;
}

PgSession::Outcome PgSession::copy(const QByteArray &data)
{
    constexpr qsizetype kPiece = 256 * 1024;
    m_deadline.setRemainingTime(m_timeout);
    for (qsizetype at = 0; at < data.size();) {
        const int n = int(std::min(kPiece, data.size() - at));
        const int put = PQputCopyData(m_conn, data.constData() + at, n);
        if (put < 0)
            return fail(kConnectionFailed);
        if (put == 1)
            at += n;
        for (int pending; (pending = PQflush(m_conn)) != 0;) {
            if (pending < 0)
                return fail(kConnectionFailed);
            if (const Waited w = wait(true); w != Waited::Ready)
                return gaveUp(w);
        }
    }
    if (PQputCopyEnd(m_conn, nullptr) < 0)
        return fail(kConnectionFailed);
    Result ignored;
    return collect(ignored);
}

PgSession::Outcome PgSession::ship(const RowSource &source, const ShippedFile &expected,
                                   const Batch &batch, const StationReport &report,
                                   Claimed *claimed, qint32 *fileId)
{
    const QByteArray day = source.day.toString(Qt::ISODate).toLatin1();
    Result r;
    Outcome o = begin();
    if (o == Outcome::Ok)
        o = claim(report, claimed);
    if (o == Outcome::Ok && expected.fileId == 0)
        o = exec(
            "INSERT INTO public.corvane_files (station, file_name, poll_day) VALUES ($1, $2, $3) "
            "ON CONFLICT (station, file_name) DO NOTHING",
            {source.station, source.fileName, day}, r);
    if (o == Outcome::Ok)
        o = exec("SELECT file_id, generation, shipped FROM public.corvane_files "
                 "WHERE station = $1 AND file_name = $2 FOR UPDATE",
                 {source.station, source.fileName}, r);
    if (o != Outcome::Ok)
        return rollback(o);
    if (r.rows() != 1 || r.value(0, 1).toInt() != expected.position.generation ||
        r.value(0, 2).toLongLong() != expected.position.offset) {
        m_error = QStringLiteral("shipped meanwhile by another shipper");
        return rollback(Outcome::Conflict);
    }
    RowSource withId = source;
    withId.fileId = r.value(0, 0).toInt();
    if (batch.replaces > 0)
        o = exec("INSERT INTO public.corvane_replaced (file_id, generation) VALUES ($1, $2) "
                 "ON CONFLICT DO NOTHING",
                 {QByteArray::number(withId.fileId), QByteArray::number(batch.replaces)}, r);
    if (o == Outcome::Ok)
        o = exec(
            "COPY public.corvane_records (file_id, station, file_name, generation, file_offset, "
            "poll_day, record) FROM STDIN (FORMAT binary)",
            {}, r);
    if (o == Outcome::Ok && r.status() != PGRES_COPY_IN)
        o = fail(QStringLiteral("the database did not take the rows"));
    if (o == Outcome::Ok)
        o = copy(copyRows(withId, batch));
    if (o == Outcome::Ok)
        o = exec("UPDATE public.corvane_files SET generation = $2, mark_id = $3, shipped = $4, "
                 "prefix_hash = $5, shipped_at = now() WHERE file_id = $1",
                 {QByteArray::number(withId.fileId), QByteArray::number(batch.to.generation),
                  batch.to.markId, QByteArray::number(batch.to.offset),
                  QByteArray::number(qint64(batch.to.hash))},
                 r);
    if (o == Outcome::Ok)
        o = execAll("COMMIT");
    if (o != Outcome::Ok)
        return rollback(o);
    *fileId = withId.fileId;
    return Outcome::Ok;
}

} // namespace ship
