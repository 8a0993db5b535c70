#include "ship/Shipper.h"

#include "commit/Durable.h"
#include "commit/PollerState.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRandomGenerator>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <sys/inotify.h>
#include <unistd.h>

namespace ship {

namespace {

// About a second's worth of a busy cradle many times over, and a few MB of rows at most.
constexpr qint64 kBatchBytes = 1 << 20;
// Waits after a failed connection: random up to a ceiling that doubles from the first to the
// last, so that a chain's shops turned away together come back spread out.
constexpr int kRetryFirstMs = 1000;
constexpr int kRetryMaxMs = 10000;
// A read or sync that failed is tried again this often: a stat and a read of a small mark.
constexpr int kRereadMs = 2000;
constexpr int kHeldRetryMs = 3000;
// A folder that cannot be watched: whether it changed is asked this often (every commit
// renames a mark into it, so its modification time moves), and it is looked at whole at least
// every kScansMs.
constexpr int kScanMs = 1000;
constexpr qint64 kScansMs = 10000;
// The station reported this often when nothing changes, well inside its lease.
constexpr int kHeartbeatMs = 60000;
const QString kMarkSuffix = QStringLiteral(".committed");
const QString kStateSuffix = QStringLiteral(".state");

// When this machine started, in seconds since the epoch: the kernel's boot id is out of reach
// of a service that sees only its own processes in /proc.
qint64 bootTime()
{
    timespec now{}, sinceBoot{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    ::clock_gettime(CLOCK_BOOTTIME, &sinceBoot);
    return now.tv_sec - sinceBoot.tv_sec;
}

} // namespace

Shipper::Shipper(const Options &options, QObject *parent)
    : QObject(parent), m_options(options), m_session(options.conninfo, options.stopFd)
{
    m_report.token = QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    m_report.host = QSysInfo::machineHostName().toUtf8();
    m_report.boot = QByteArray::number(bootTime());
    m_report.pid = QCoreApplication::applicationPid();
    m_report.holder = QStringLiteral("corvane-ship on %1 (pid %2)")
                          .arg(QString::fromUtf8(m_report.host))
                          .arg(m_report.pid)
                          .toUtf8();
    for (QTimer *timer : {&m_retry, &m_idle, &m_heartbeat, &m_soon, &m_reread})
        timer->setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        m_reportDue = true;
        work();
    });
    connect(&m_idle, &QTimer::timeout, this, &Shipper::closeSession);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] {
        // A poller killed changes no file: read again, it says "not running" now.
        m_statesChanged = true;
        m_reportDue = true;
        work();
    });
    // systemd watches from ready on.
    const auto alive = [this] {
        if (m_ready)
            m_notifier.alive();
    };
    m_session.setAlive(alive);
    if (m_notifier.pingIntervalMs() > 0) {
        connect(&m_ping, &QTimer::timeout, this, alive);
        m_ping.start(int(m_notifier.pingIntervalMs()));
    }
    connect(&m_soon, &QTimer::timeout, this, &Shipper::work);
    connect(&m_reread, &QTimer::timeout, this, &Shipper::readAgain);
}

Shipper::~Shipper()
{
    m_events.reset();
    if (m_inotify >= 0)
        ::close(m_inotify);
}

void Shipper::start()
{
    if (!m_options.once)
        watchFolder();
    scan();
    work();
}

void Shipper::watchFolder()
{
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify >= 0 &&
        ::inotify_add_watch(m_inotify, QFile::encodeName(m_options.dir).constData(),
                            IN_CLOSE_WRITE | IN_MODIFY | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
                                IN_DELETE | IN_ONLYDIR) >= 0) {
        m_events = std::make_unique<QSocketNotifier>(m_inotify, QSocketNotifier::Read);
        connect(m_events.get(), &QSocketNotifier::activated, this, &Shipper::readEvents);
        return;
    }
    // The user's inotify instances or watches used up (many shippers under one user): what
    // changed is found by looking, a little later.
    const int why = errno;
    if (m_inotify >= 0)
        ::close(m_inotify);
    m_inotify = -1;
    emit logLine(Priority::Warning,
                 QStringLiteral("cannot watch %1 (%2): looking every %3 s instead")
                     .arg(m_options.dir, QString::fromLocal8Bit(strerror(why)))
                     .arg(kScanMs / 1000));
    connect(&m_scan, &QTimer::timeout, this,
            [this, changed = QDateTime(), scanned = QElapsedTimer()]() mutable {
                // A change in the same clock tick as the last look leaves the time as it was:
                // a folder changed in the last seconds is looked at anyway.
                const QDateTime modified = QFileInfo(m_options.dir).lastModified();
                if (modified == changed && scanned.isValid() && scanned.elapsed() < kScansMs &&
                    modified.msecsTo(QDateTime::currentDateTime()) > 2 * kScanMs)
                    return;
                changed = modified;
                scanned.start();
                scan();
                shipSoon();
            });
    m_scan.start(kScanMs);
}

void Shipper::finish(int status)
{
    if (m_done)
        return;
    m_done = true;
    for (QTimer *timer : {&m_retry, &m_idle, &m_heartbeat, &m_scan, &m_soon, &m_reread, &m_ping})
        timer->stop();
    m_events.reset();
    m_serverWatch.reset();
    // Given back, so that a shipper started next need not wait for the lease to run out.
    if (m_holding && !m_session.release(m_report))
        emit logLine(Priority::Warning,
                     QStringLiteral("station %1 not given back (%2): another shipper of it "
                                    "waits until its lease runs out")
                         .arg(QString::fromUtf8(m_report.station), m_session.lastError()));
    m_session.close();
    m_notifier.stopping();
    emit finished(status);
}

void Shipper::scan()
{
    const QDir dir(m_options.dir);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        noticeName(name);
}

void Shipper::noticeName(const QString &name)
{
    if (auto it = m_files.find(name); it != m_files.end()) {
        m_dirty.insert(name);
        return;
    }
    if (name.startsWith(QLatin1Char('.'))) {
        // A store's mark says its file has more to ship; a poller's state is reported.
        if (name.endsWith(kMarkSuffix)) {
            noticeName(name.mid(1, name.size() - 1 - kMarkSuffix.size()));
        } else if (name.endsWith(kStateSuffix)) {
            m_stateFiles.insert(name);
            m_statesChanged = true;
        }
        return;
    }
    const QString path = QDir(m_options.dir).filePath(name);
    if (const auto day = pollDay(name)) {
        auto cursor = std::make_unique<FileCursor>(path, *day);
        if (m_holding)
            cursor->setShipped(m_shipped.value(name).position);
        m_files.emplace(name, std::move(cursor));
        m_dirty.insert(name);
    } else if (!m_skipped.contains(name) && QFileInfo(path).isFile()) {
        m_skipped.insert(name);
        emit logLine(Priority::Info, QStringLiteral("%1: not a poll file, left alone").arg(name));
    }
}

void Shipper::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->mask & IN_Q_OVERFLOW)
                scan();
            else if (event->len > 0 && !(event->mask & IN_ISDIR))
                noticeName(QFile::decodeName(event->name));
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    shipSoon();
}

void Shipper::shipSoon()
{
    // Events come in bursts (the store's write, its mark, its close): one pass for all. With the
    // database away the files are still looked at, to tell how much waits.
    if ((!m_dirty.isEmpty() || m_statesChanged) && !m_soon.isActive())
        m_soon.start(0);
}

void Shipper::work()
{
    if (m_done)
        return;
    QStringList names = lookAtDirty();
    if (m_statesChanged) {
        m_statesChanged = false;
        m_report.pollers = pollerStates();
    }
    // While the database is away or the station another's, the timer that waits calls again.
    if ((names.isEmpty() && !reportDue()) || m_retry.isActive()) {
        tellStatus();
        return;
    }
    const bool wasHolding = m_holding;
    if (!connected())
        return;
    // What the database gave, judged against the files first.
    if (!wasHolding)
        names = lookAtDirty();
    for (const QString &name : std::as_const(names)) {
        if (!shipFile(*m_files.at(name)))
            break;
        m_dirty.remove(name);
    }
    if (m_done)
        return;
    // A batch's claim reported too; otherwise a claim of its own.
    if (m_session.isOpen() && reportDue()) {
        Claimed claim;
        claimed(m_session.report(m_report, &claim), claim);
    }
    if (m_done)
        return;
    tellStatus();
    if (m_options.once && m_holding)
        finish(!m_contested.isEmpty()                  ? kNotAllOnce
               : m_unreadable.isEmpty() && !m_unsynced ? 0
                                                       : kUnreadableOnce);
    else if (m_session.isOpen())
        m_idle.start(m_crowded ? 0 : m_options.idleMs);
}

bool Shipper::connected()
{
    m_idle.stop();
    if (m_session.isOpen())
        return true;
    PgSession::Outcome outcome = m_session.open();
    if (outcome == PgSession::Outcome::Ok && !m_prepared) {
        outcome = m_session.ensureTables();
        if (outcome == PgSession::Outcome::Ok)
            outcome = findStation();
        m_prepared = outcome == PgSession::Outcome::Ok;
    }
    if (outcome == PgSession::Outcome::Ok && !m_holding) {
        Claimed claim;
        if (!claimed(m_session.report(m_report, &claim), claim))
            return false;
        m_today = QDate::currentDate();
        outcome = m_session.load(m_report.station, m_shipped);
        if (outcome == PgSession::Outcome::Ok)
            outcome = m_session.today(m_report.station, m_today, &m_todayRows, &m_lastShipped);
    }
    if (!actOn(outcome))
        return false;
    if (m_away)
        emit logLine(Priority::Info, QStringLiteral("database back"));
    m_away = false;
    m_failures = 0;
    if (!m_holding) {
        m_holding = true;
        for (auto &[name, cursor] : m_files) {
            // What the database says is judged against the file anew, unless it is what was
            // shipped from here.
            if (const Position &at = m_shipped.value(name).position; at != cursor->shipped())
                cursor->setShipped(at);
            m_dirty.insert(name);
        }
    }
    // The server going away while the connection waits for work is seen at once.
    m_serverWatch = std::make_unique<QSocketNotifier>(m_session.socket(), QSocketNotifier::Read);
    connect(m_serverWatch.get(), &QSocketNotifier::activated, this, [this] {
        if (!m_session.stillThere())
            actOn(PgSession::Outcome::Unreachable);
    });
    return true;
}

void Shipper::closeSession()
{
    m_idle.stop();
    m_serverWatch.reset();
    m_session.close();
}

bool Shipper::claimed(PgSession::Outcome outcome, const Claimed &claim)
{
    if (outcome == PgSession::Outcome::Held) {
        m_holding = false;
        closeSession();
        // A holder of this boot on this host whose process is gone was killed without a
        // goodbye: its lease need not be waited out.
        // (The two reads of the clocks behind a boot time may fall a second apart.)
        if (claim.host == m_report.host &&
            std::abs(claim.boot.toLongLong() - m_report.boot.toLongLong()) <= 2 &&
            m_report.overrule != claim.token &&
            (claim.pid == m_report.pid || (::kill(pid_t(claim.pid), 0) != 0 && errno == ESRCH))) {
            m_report.overrule = claim.token;
            m_retry.start(0);
            return false;
        }
        waitForStation(claim.holder);
        return false;
    }
    if (!actOn(outcome))
        return false;
    if (!m_holder.isEmpty() || claim.tookOver)
        emit logLine(
            Priority::Info,
            QStringLiteral("station %1 taken over").arg(QString::fromUtf8(m_report.station)));
    m_holder.clear();
    m_report.overrule.clear();
    m_reportDue = false;
    m_reportedPollers = m_report.pollers;
    m_crowded = claim.crowded;
    // Spread, so that shops back together after an outage do not report together.
    m_heartbeat.start(kHeartbeatMs + int(QRandomGenerator::global()->bounded(kHeartbeatMs / 10)));
    return true;
}

PgSession::Outcome Shipper::findStation()
{
    StationFound found;
    const PgSession::Outcome outcome = m_session.findStation(
        {m_options.folderId, m_options.seenAs.toUtf8(), m_options.station.toUtf8()}, &found);
    // Said once a run, and again only when something changed.
    if (outcome != PgSession::Outcome::Ok ||
        (found.station == m_report.station && found.wasSeenAs.isEmpty()))
        return outcome;
    m_report.station = found.station;
    const QString station = QString::fromUtf8(m_report.station);
    QString text = QStringLiteral("shipping as %1station %2")
                       .arg(found.created ? QStringLiteral("new ") : QString(), station);
    if (found.created && station != m_options.seenAs && m_options.station.isEmpty())
        text += QStringLiteral(": station %1 is another folder's").arg(m_options.seenAs);
    if (found.adopted)
        text += QStringLiteral(", from now on found by the folder's identity");
    if (!found.wasSeenAs.isEmpty())
        text += QStringLiteral(", last reached as %1, now as %2")
                    .arg(QString::fromUtf8(found.wasSeenAs), m_options.seenAs);
    if (!found.folderStation.isEmpty() && found.folderStation != m_report.station)
        text += QStringLiteral(", as --station says; the folder's own station is %1")
                    .arg(QString::fromUtf8(found.folderStation));
    emit logLine(Priority::Info, text);
    return outcome;
}

void Shipper::waitForStation(const QString &holder)
{
    if (m_options.once) {
        emit logLine(Priority::Error,
                     QStringLiteral("station %1 is being shipped by %2; nothing shipped")
                         .arg(QString::fromUtf8(m_report.station), holder));
        finish(kNotAllOnce);
        return;
    }
    // Cloned machines keep the host name, so the default station too.
    if (m_holder.isEmpty()) {
        emit logLine(Priority::Warning,
                     QStringLiteral("station %1 is being shipped by %2; waiting to take "
                                    "over when it stops")
                         .arg(QString::fromUtf8(m_report.station), holder));
        m_since = QTime::currentTime();
    }
    m_holder = holder;
    m_retry.start(kHeldRetryMs);
    tellStatus();
}

bool Shipper::actOn(PgSession::Outcome outcome)
{
    switch (outcome) {
    case PgSession::Outcome::Ok:
    case PgSession::Outcome::Conflict:
        return true;
    case PgSession::Outcome::Held: // claimed() waits
        return false;
    case PgSession::Outcome::Stopped:
        finish(0);
        return false;
    case PgSession::Outcome::Refused:
        emit logLine(Priority::Error, QStringLiteral("database refused: ") + m_session.lastError());
        finish(kRefused);
        return false;
    case PgSession::Outcome::Unreachable:
        unreachable();
        return false;
    }
    return false;
}

void Shipper::unreachable()
{
    closeSession();
    // The lease outlives the connection; the tables and the server are checked again.
    m_prepared = false;
    if (m_options.once) {
        emit logLine(Priority::Error,
                     QStringLiteral("database unreachable: %1").arg(m_session.lastError()));
        finish(kUnreachableOnce);
        return;
    }
    if (!m_away) {
        emit logLine(Priority::Warning,
                     QStringLiteral("database unreachable: %1; trying again until it "
                                    "answers")
                         .arg(m_session.lastError()));
        m_since = QTime::currentTime();
    }
    m_away = true;
    const int ceiling = std::min(kRetryMaxMs, kRetryFirstMs << std::min(m_failures++, 4));
    m_retry.start(1 + int(QRandomGenerator::global()->bounded(ceiling)));
    tellStatus();
}

void Shipper::tellStatus()
{
    if (!m_notifier.isActive())
        return;
    if (m_today != QDate::currentDate()) {
        m_today = QDate::currentDate();
        m_todayRows = 0;
    }
    qint64 waiting = 0;
    for (const auto &[name, cursor] : m_files)
        waiting += cursor->countWaiting();
    const QString since = m_since.toString(QStringLiteral("HH:mm"));
    QString status;
    if (!m_away && m_holder.isEmpty()) {
        status = QStringLiteral("shipping; ") +
                 ServiceNotifier::todaysFigure(m_todayRows, QStringLiteral("rows"),
                                               m_lastShipped.toLocalTime().time()) +
                 QStringLiteral("; %1 waiting").arg(QLocale::c().toString(waiting));
    } else {
        status = (m_away ? QStringLiteral("database unreachable since %1")
                         : QStringLiteral("station held by %2 since %1"))
                     .arg(since, m_holder) +
                 QStringLiteral("; %1 lines waiting").arg(QLocale::c().toString(waiting));
    }
    if (!m_ready) {
        m_ready = true;
        m_notifier.ready(status);
    } else {
        m_notifier.setStatus(status);
    }
}

QStringList Shipper::lookAtDirty()
{
    // Oldest day first, so that a backlog arrives in order.
    QStringList names(m_dirty.cbegin(), m_dirty.cend());
    std::sort(names.begin(), names.end(), [this](const QString &a, const QString &b) {
        const QDate x = m_files.count(a) ? m_files.at(a)->day() : QDate();
        const QDate y = m_files.count(b) ? m_files.at(b)->day() : QDate();
        return x != y ? x < y : a < b;
    });
    // Every mark read first, so that one sync of the folder covers them all.
    QStringList toShip;
    for (const QString &name : std::as_const(names)) {
        const auto it = m_files.find(name);
        if (it != m_files.end() && look(*it->second) && it->second->countWaiting() > 0) {
            toShip.append(name);
            continue;
        }
        // The count may be the first to find the file unreadable: no event says when it
        // reads again, so it is tried again as the look's failures are.
        if (it != m_files.end() && !it->second->readError().isEmpty())
            cannotRead(*it->second);
        m_dirty.remove(name);
    }
    m_report.linesWaiting = 0;
    for (const auto &[name, cursor] : m_files)
        m_report.linesWaiting += cursor->countWaiting();
    return toShip;
}

QByteArray Shipper::pollerStates() const
{
    QJsonArray all;
    const QDir dir(m_options.dir);
    QStringList names(m_stateFiles.cbegin(), m_stateFiles.cend());
    names.sort();
    for (const QString &name : std::as_const(names)) {
        const std::optional<PollerState> state = PollerState::read(dir.filePath(name));
        if (!state)
            continue;
        const auto utc = [](const QDateTime &t) {
            return t.isValid() ? QJsonValue(t.toUTC().toString(Qt::ISODate)) : QJsonValue();
        };
        // A poller killed leaves its last state behind, unlocked.
        all.append(QJsonObject{{"terminal", state->terminal},
                               {"program", state->program},
                               {"state", state->running || state->state == PollerState::kStopped
                                             ? state->state
                                             : QStringLiteral("not running")},
                               {"since", utc(state->since)},
                               {"last_transfer", utc(state->lastTransfer)},
                               {"last_records", state->lastRecords},
                               {"set_aside", state->setAside}});
    }
    return QJsonDocument(all).toJson(QJsonDocument::Compact);
}

bool Shipper::look(FileCursor &cursor)
{
    m_marksRead = true;
    const QString name = cursor.name();
    switch (cursor.look()) {
    case FileCursor::Change::None:
        return true;
    case FileCursor::Change::Gone:
        m_unreadable.remove(name);
        return false;
    case FileCursor::Change::Unreadable:
        cannotRead(cursor);
        return false;
    case FileCursor::Change::Rewritten:
        emit logLine(Priority::Info,
                     QStringLiteral("%1: written anew; its records go in as generation %2")
                         .arg(name)
                         .arg(cursor.next().generation));
        return true;
    case FileCursor::Change::Edited:
        emit logLine(Priority::Warning,
                     QStringLiteral("%1: no longer begins with the %2 bytes shipped from "
                                    "it; its content goes in as generation %3 in place "
                                    "of generation %4")
                         .arg(name)
                         .arg(cursor.shipped().offset)
                         .arg(cursor.next().generation)
                         .arg(cursor.shipped().generation));
        return true;
    }
    return false;
}

QString Shipper::laterText() const
{
    return m_options.once ? QStringLiteral("left for a later run")
                          : QStringLiteral("tried again in %1 s").arg(kRereadMs / 1000);
}

void Shipper::cannotRead(const FileCursor &cursor)
{
    if (!m_unreadable.contains(cursor.name()))
        emit logLine(Priority::Warning, QStringLiteral("%1: cannot be read (%2); %3")
                                            .arg(cursor.name(), cursor.readError(), laterText()));
    m_unreadable.insert(cursor.name());
    rereadLater();
}

void Shipper::rereadLater()
{
    // A single run leaves it for the next one (laterText).
    if (!m_options.once && !m_reread.isActive())
        m_reread.start(kRereadMs);
}

void Shipper::readAgain()
{
    for (const QString &name : std::as_const(m_unreadable))
        m_dirty.insert(name);
    for (const QString &name : std::as_const(m_contested))
        m_dirty.insert(name);
    m_contested.clear();
    shipSoon();
}

bool Shipper::folderSynced()
{
    if (!m_marksRead)
        return true;
    if (const durable::Synced synced = durable::syncFolder(m_options.dir); !synced) {
        const int why = synced.error;
        if (!m_unsynced)
            emit logLine(Priority::Warning,
                         QStringLiteral("cannot sync the folder (%1): nothing shipped "
                                        "from it; %2")
                             .arg(QString::fromLocal8Bit(std::strerror(why)), laterText()));
        m_unsynced = true;
        rereadLater();
        return false;
    }
    if (m_unsynced)
        emit logLine(Priority::Info, QStringLiteral("the folder syncs again"));
    m_unsynced = false;
    m_marksRead = false;
    return true;
}

bool Shipper::shipFile(FileCursor &cursor)
{
    const QString name = cursor.name();
    const RowSource source{0, m_report.station, name.toUtf8(), cursor.day()};
    qint64 count = 0;
    const auto report = [&] {
        if (count > 0)
            emit logLine(Priority::Info,
                         QStringLiteral("%1: %2 records shipped, generation %3 up to byte %4")
                             .arg(name)
                             .arg(count)
                             .arg(cursor.shipped().generation)
                             .arg(cursor.shipped().offset));
    };
    for (int conflicts = 0; const auto batch = cursor.batch(kBatchBytes);) {
        if (!folderSynced()) {
            report();
            return false;
        }
        qint32 fileId = 0;
        Claimed claim;
        StationReport said = m_report;
        said.linesWaiting = std::max<qint64>(0, said.linesWaiting - batch->count());
        const PgSession::Outcome outcome =
            m_session.ship(source, m_shipped.value(name), *batch, said, &claim, &fileId);
        if (outcome == PgSession::Outcome::Held) {
            report();
            return claimed(outcome, claim);
        }
        if (outcome == PgSession::Outcome::Ok) {
            m_report.linesWaiting = said.linesWaiting;
            claimed(outcome, claim);
            cursor.advancePast(*batch);
            m_shipped.insert(name, ShippedFile{fileId, batch->to});
            count += batch->count();
            m_lastShipped = QDateTime::currentDateTime();
            if (cursor.day() == m_today)
                m_todayRows += batch->count();
        } else if (outcome == PgSession::Outcome::Conflict && ++conflicts < 3) {
            // Another shipper of the same station got there first: start from where it left.
            if (!actOn(m_session.load(m_report.station, m_shipped))) {
                report();
                return false;
            }
            cursor.setShipped(m_shipped.value(name).position);
            // Judged against the file anew, and told like any other look.
            if (!look(cursor))
                break;
        } else {
            report();
            if (outcome == PgSession::Outcome::Conflict) {
                // Not dropped: a day's last file may never change again.
                emit logLine(
                    Priority::Warning,
                    QStringLiteral("%1: %2; %3").arg(name, m_session.lastError(), laterText()));
                m_contested.insert(name);
                rereadLater();
            }
            return actOn(outcome);
        }
    }
    report();
    if (!cursor.readError().isEmpty())
        cannotRead(cursor);
    else if (cursor.judged() && m_unreadable.remove(name))
        emit logLine(Priority::Info, QStringLiteral("%1: reads again").arg(name));
    return true;
}

} // namespace ship
