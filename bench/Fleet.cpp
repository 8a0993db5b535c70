// A chain's office runs one PostgreSQL for all its shops. Here: N shops on one machine, each a
// folder its poll store writes a few records into every few seconds and its own corvane-ship
// (as systemd runs it) ships, into one server of max_connections 30 with fsync on; first
// straight to the server's socket, then through pgbouncer pooling by transaction. Half-way a
// fifth of the shops' PCs reboot (their shippers stopped and started again), later the server
// restarts once. Each record says its shop, its number and when it was stored, so the rows
// themselves tell what arrived, how often and how late.

#include "Fleet.h"
#include "Figures.h"
#include "PgBouncer.h"
#include "PgCluster.h"
#include "TestFiles.h"
#include "core/polling/PollStore.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr int kMaxConnections = 30;
constexpr int kRecordsPerTurn = 5;
constexpr int kTurnMs = 4000;
constexpr int kDrainMs = 60000;
constexpr int kSampleMs = 250;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString shopName(int shop)
{
    return QStringLiteral("S%1").arg(shop, 4, 10, QLatin1Char('0'));
}

// The shops' poll stores, on a thread of their own so that restarts and sampling never hold
// them up: shop i stores its records at i/N of every turn. Read the counts after stop().
class Shops {
public:
    Shops(const QDir &root, int count) : m_root(root), m_count(count)
    {
        for (int shop = 0; shop < count; ++shop)
            m_root.mkpath(shopName(shop));
    }
    ~Shops() { stop(); }

    QString folder(int shop) const { return m_root.filePath(shopName(shop)); }
    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    const std::vector<int> &storedPerShop() const { return m_stored; }
    qint64 stored() const { return qint64(m_storedAt.size()); }
    // Records stored at or before a time (ms since the epoch).
    qint64 storedBy(qint64 ms) const
    {
        return std::upper_bound(m_storedAt.begin(), m_storedAt.end(), ms) - m_storedAt.begin();
    }
    int failedCommits() const { return m_failed; }

private:
    void run()
    {
        std::vector<std::unique_ptr<PollStore>> stores;
        for (int shop = 0; shop < m_count; ++shop)
            stores.push_back(std::make_unique<PollStore>(QDir(folder(shop))));
        m_stored.assign(m_count, 0);
        const qint64 begin = nowMs();
        for (qint64 turn = 0; !m_stop; ++turn) {
            const int shop = int(turn % m_count);
            const qint64 due = begin + turn / m_count * kTurnMs + shop * kTurnMs / m_count;
            while (!m_stop && nowMs() < due)
                QThread::msleep(std::clamp<qint64>(due - nowMs(), 1, 50));
            if (m_stop)
                break;
            const qint64 at = nowMs();
            for (int i = 1; i <= kRecordsPerTurn; ++i)
                stores[shop]->append(shopName(shop).toLatin1() + ';' +
                                     QByteArray::number(m_stored[shop] + i).rightJustified(6, '0') +
                                     ';' + QByteArray::number(at));
            if (!stores[shop]->commit()) {
                ++m_failed; // cut back: those numbers are stored by the next turn
                continue;
            }
            m_stored[shop] += kRecordsPerTurn;
            m_storedAt.insert(m_storedAt.end(), kRecordsPerTurn, at);
        }
    }

    QDir m_root;
    int m_count;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::vector<int> m_stored;      // per shop
    std::vector<qint64> m_storedAt; // per record, in order
    int m_failed = 0;
};

// One corvane-ship per shop, as systemd runs them, each logging to a file of its own (a pipe
// nobody reads would fill and stall it). Every one still running is stopped with the object.
class Shippers {
public:
    Shippers(const Shops &shops, const QDir &logs, const QString &conninfo, int count)
        : m_shops(shops), m_logs(logs), m_conninfo(conninfo), m_processes(count)
    {
    }
    ~Shippers()
    {
        QList<int> all;
        for (int shop = 0; shop < int(m_processes.size()); ++shop)
            all << shop;
        stop(all);
    }

    void start(const QList<int> &shops)
    {
        for (int shop : shops) {
            auto &process = m_processes[shop];
            process = std::make_unique<ChildProcess>();
            process->setProcessChannelMode(QProcess::MergedChannels);
            process->setStandardOutputFile(log(shop), QIODevice::Append);
            process->start(QStringLiteral(CORVANE_SHIP),
                           {"--dir=" + m_shops.folder(shop), "--database=" + m_conninfo});
            process->waitForStarted();
        }
    }
    // All told at once, as when many PCs go down together; then each waited for.
    void stop(const QList<int> &shops)
    {
        QList<ChildProcess *> running;
        for (int shop : shops) {
            if (m_processes[shop] && m_processes[shop]->state() != QProcess::NotRunning) {
                m_processes[shop]->terminate();
                running << m_processes[shop].get();
            }
        }
        for (ChildProcess *process : running) {
            if (!process->waitForFinished(10000)) {
                process->kill();
                process->waitForFinished();
            }
        }
    }
    // The shops whose shipper has ended without being told to.
    QList<int> ended() const
    {
        QList<int> shops;
        for (int shop = 0; shop < int(m_processes.size()); ++shop)
            if (m_processes[shop] && m_processes[shop]->state() == QProcess::NotRunning)
                shops << shop;
        return shops;
    }
    // What its log says last, besides that it stopped.
    QString lastWord(int shop) const
    {
        QFile file(log(shop));
        QList<QByteArray> lines =
            file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
        lines.removeAll("<6>stopped");
        lines.removeAll("");
        return QString::fromLocal8Bit(lines.value(lines.size() - 1));
    }

private:
    QString log(int shop) const { return m_logs.filePath(shopName(shop) + ".log"); }

    const Shops &m_shops;
    QDir m_logs;
    QString m_conninfo;
    std::vector<std::unique_ptr<ChildProcess>> m_processes;
};

// The highest count of the server's client connections seen, besides the one asking. It asks
// as the superuser, for whom the server keeps slots the shops' role cannot take
// (superuser_reserved_connections), and connects again after the server's restart.
class ConnectionPeak {
public:
    explicit ConnectionPeak(const QString &conninfo)
        : m_conninfo(conninfo.toUtf8() + " connect_timeout=2")
    {
    }
    ~ConnectionPeak() { PQfinish(m_conn); }

    void sample()
    {
        if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
            PQfinish(m_conn);
            m_conn = PQconnectdb(m_conninfo.constData());
        }
        PGresult *r = PQexec(m_conn, "SELECT count(*) FROM pg_stat_activity "
                                     "WHERE backend_type = 'client backend' "
                                     "AND pid <> pg_backend_pid()");
        if (PQresultStatus(r) == PGRES_TUPLES_OK)
            m_peak = std::max(m_peak, atoi(PQgetvalue(r, 0, 0)));
        PQclear(r);
    }
    int peak() const { return m_peak; }

private:
    QByteArray m_conninfo;
    PGconn *m_conn = nullptr;
    int m_peak = 0;
};

// Waits ms, the event loop running (QProcess learns of its child's end there), sampling.
void sampleFor(ConnectionPeak &connections, int ms)
{
    QElapsedTimer clock;
    clock.start();
    do {
        connections.sample();
        QTest::qWait(kSampleMs);
    } while (clock.elapsed() < ms);
}

// The record's own fields, from its row.
const QString kStoredMs =
    QStringLiteral("split_part(convert_from(record, 'LATIN1'), ';', 3)::bigint");
const QString kShop = QStringLiteral("split_part(convert_from(record, 'LATIN1'), ';', 1)");

void fleetWay(int count, int storingS, bool pooled)
{
    const QString way = QStringLiteral("fleet of %1, %2")
                            .arg(count)
                            .arg(pooled ? QStringLiteral("pgbouncer") : QStringLiteral("direct"));
    PgCluster pg(/*fsync=*/true, {QStringLiteral("max_connections=%1").arg(kMaxConnections)});
    if (!pg.isRunning())
        return missing(way, pg.error());
    // The shops log in as a role of their own, not a superuser, as an office would have it.
    if (pg.query("CREATE ROLE shop LOGIN; ALTER DATABASE corvane OWNER TO shop", "postgres"),
        !pg.error().isEmpty())
        return missing(way, pg.error());
    std::optional<PgBouncer> pooler;
    if (pooled) {
        // A pool that fits the server, room for every shop as a client, and a server that
        // went away tried again after a second rather than pgbouncer's 15.
        pooler.emplace(pg, QStringList{QStringLiteral("shop")},
                       QStringList{QStringLiteral("default_pool_size = 20"),
                                   QStringLiteral("max_client_conn = %1").arg(count + 100),
                                   QStringLiteral("server_login_retry = 1")});
        if (!pooler->isRunning())
            return missing(way, pooler->error());
    }
    const QString conninfo = (pooled ? pooler->conninfo() : pg.conninfo()) + " user=shop";

    QTemporaryDir tmp;
    const QDir root(tmp.path());
    root.mkpath(QStringLiteral("logs"));
    Shops shops(root.filePath(QStringLiteral("shops")), count);
    Shippers shippers(shops, root.filePath(QStringLiteral("logs")), conninfo, count);
    ConnectionPeak connections(pg.conninfo());
    QList<int> all, rebooted;
    for (int shop = 0; shop < count; ++shop) {
        all << shop;
        if (shop % 5 == 0)
            rebooted << shop;
    }
    std::printf("%s: %d shippers starting\n", qPrintable(way), count);
    std::fflush(stdout);
    shippers.start(all);
    sampleFor(connections, 5000); // their start-up, not counted in the latency

    // The storing, a fifth of the PCs rebooted half-way, the server restarted at three
    // quarters.
    const qint64 storingMs = storingS * 1000LL;
    QElapsedTimer clock;
    clock.start();
    shops.start();
    sampleFor(connections, int(storingMs / 2));
    shippers.stop(rebooted);
    shippers.start(rebooted);
    sampleFor(connections, int(storingMs * 3 / 4 - clock.elapsed()));
    const qint64 serverDownMs = nowMs();
    const double serverDownAtS = clock.elapsed() / 1000.0;
    if (!pg.stop() || !pg.start())
        return missing(way, QStringLiteral("the server did not restart: ") + pg.error());
    const qint64 serverBackMs = nowMs();
    std::printf("%s: the server restarted at %.0f s, away %.1f s\n", qPrintable(way), serverDownAtS,
                (serverBackMs - serverDownMs) / 1000.0);
    std::fflush(stdout);
    sampleFor(connections, int(storingMs - clock.elapsed()));
    shops.stop();
    const qint64 storingEndMs = nowMs();

    // Then a bounded wait for the backlog.
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < kDrainMs &&
           pg.query("SELECT count(DISTINCT record) FROM corvane_records").value(0).toLongLong() <
               shops.stored())
        sampleFor(connections, 1000);
    const qint64 countedMs = nowMs();
    const QList<int> ended = shippers.ended();

    const QStringList totals =
        pg.query("SELECT count(DISTINCT record), count(*) - count(DISTINCT (station, record)) "
                 "FROM corvane_records")
            .value(0)
            .split(' ');
    if (totals.size() != 2)
        return missing(way, QStringLiteral("no rows to count: ") + pg.error());
    const qint64 stored = shops.stored();
    below(way + QStringLiteral(": records stored (%1) without their row").arg(stored),
          stored - totals[0].toLongLong(), "", 1);
    below(way + ": rows beyond one per (station, record)", totals[1].toDouble(), "", 1);

    QList<int> shopsShort = all;
    for (const QString &line :
         pg.query("SELECT " + kShop + ", count(DISTINCT record) FROM corvane_records GROUP BY 1")) {
        const QStringList f = line.split(' ');
        const int shop = f.value(0).mid(1).toInt();
        if (shop < count && f.value(1).toInt() == shops.storedPerShop()[shop])
            shopsShort.removeOne(shop);
    }
    below(way + QStringLiteral(": shops missing a record at the end (of %1)").arg(count),
          shopsShort.size(), "", 1);

    // Caught up once every record stored before the server was back has its row: the last
    // of those rows' shipping time (its transaction's start) tells when.
    const QStringList catchUp =
        pg.query(QStringLiteral("SELECT count(DISTINCT record), "
                                "coalesce(extract(epoch FROM max(shipped_at)) * 1000, 0)::bigint "
                                "FROM corvane_records WHERE %1 <= %2")
                     .arg(kStoredMs)
                     .arg(serverBackMs))
            .value(0)
            .split(' ');
    const bool caughtUp = catchUp.value(0).toLongLong() == shops.storedBy(serverBackMs);
    const qint64 caughtUpMs =
        caughtUp ? std::max(catchUp.value(1).toLongLong(), serverBackMs) : countedMs;
    below(way + (caughtUp ? QStringLiteral(": catch-up after the server's restart")
                          : QStringLiteral(": catch-up after the server's restart (never)")),
          (caughtUpMs - serverBackMs) / 1000.0, "s", 30);

    // The latency of the records stored while the server was neither away nor being caught
    // up with: that wait is the catch-up's figure.
    const QStringList latency =
        pg.query(QStringLiteral("SELECT percentile_cont(0.5) WITHIN GROUP (ORDER BY ms) "
                                "FILTER (WHERE stored NOT BETWEEN %1 AND %2), "
                                "percentile_cont(0.99) WITHIN GROUP (ORDER BY ms) "
                                "FILTER (WHERE stored NOT BETWEEN %1 AND %2), max(ms) "
                                "FROM (SELECT %3 AS stored, "
                                "extract(epoch FROM shipped_at) * 1000 - %3 AS ms "
                                "FROM corvane_records) r")
                     .arg(serverDownMs)
                     .arg(std::min(caughtUpMs, storingEndMs))
                     .arg(kStoredMs))
            .value(0)
            .split(' ');
    reportOnly(way + ": store to row, p50, outside the server's restart",
               latency.value(0).toDouble() / 1000, "s");
    below(way + ": store to row, p99, outside the server's restart",
          latency.value(1).toDouble() / 1000, "s", 2);
    reportOnly(way + ": store to row, max", latency.value(2).toDouble() / 1000, "s");

    below(way +
              QStringLiteral(": peak server connections (max_connections %1)").arg(kMaxConnections),
          connections.peak(), "", kMaxConnections + 1);
    reportOnly(way + QStringLiteral(": shippers that ended by themselves (of %1)").arg(count),
               ended.size(), "");

    std::printf("%s: %lld records stored (%d commits failed), counted %.0f s after the storing "
                "ended\n",
                qPrintable(way), static_cast<long long>(stored), shops.failedCommits(),
                (countedMs - storingEndMs) / 1000.0);
    for (int shop : shopsShort.mid(0, 5))
        std::printf("  %s, short of records, its shipper %s: %s\n", qPrintable(shopName(shop)),
                    ended.contains(shop) ? "ended" : "running",
                    qPrintable(shippers.lastWord(shop)));
    std::fflush(stdout);
}

} // namespace

void benchFleet(int shops, int storingS)
{
    fleetWay(shops, storingS, false);
    fleetWay(shops, storingS, true);
}
