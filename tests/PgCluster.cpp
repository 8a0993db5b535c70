#include "PgCluster.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>

#include <libpq-fe.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int kStartTimeoutMs = 60000;
constexpr int kStopTimeoutMs = 30000;

const QStringList kInitdbOptions{"--no-sync",          "--no-instructions", "--auth=trust",
                                 "--username=corvane", "--encoding=UTF8",   "--locale=C"};
// Only "locked" has to give its password, so that a wrong one can be refused.
const QByteArray kHba = "local all locked scram-sha-256\n"
                        "local all all trust\n";
// Separate statements: CREATE DATABASE refuses the transaction that several in one would share.
const QStringList kSetup{"CREATE ROLE locked LOGIN PASSWORD 'secret'", "CREATE DATABASE corvane"};

// pg_config (libpq-dev) names the server's programs when it comes from the same release;
// otherwise the newest server installed, then whatever initdb is on the PATH.
QString findBinDir()
{
    const auto hasInitdb = [](const QString &dir) {
        return !dir.isEmpty() && QFileInfo(dir + QStringLiteral("/initdb")).isExecutable();
    };
    QProcess pgConfig;
    pgConfig.start(QStringLiteral("pg_config"), {QStringLiteral("--bindir")});
    if (pgConfig.waitForFinished(10000) && pgConfig.exitCode() == 0) {
        const QString dir = QString::fromLocal8Bit(pgConfig.readAllStandardOutput()).trimmed();
        if (hasInitdb(dir))
            return dir;
    }
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    int newest = -1;
    for (const QString &name : versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const int version = name.toInt(&numeric);
        if (numeric && version > newest && hasInitdb(versions.filePath(name + "/bin")))
            newest = version;
    }
    if (newest >= 0)
        return versions.filePath(QString::number(newest) + "/bin");
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    return onPath.isEmpty() ? QString() : QFileInfo(onPath).path();
}

const QString &binDir()
{
    static const QString dir = findBinDir();
    return dir;
}

// initdb and postgres refuse to run as root: a root test runs them as nobody. Null otherwise.
const passwd *nobodyIfRoot()
{
    return geteuid() == 0 ? getpwnam("nobody") : nullptr;
}

// Hands path to the server's user, when that is not the test's own.
bool giveToServer(const QString &path)
{
    const passwd *nobody = nobodyIfRoot();
    return !nobody ||
           chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) == 0;
}

// A conninfo value, quoted when it has to be.
QString quoted(QString value)
{
    if (!value.isEmpty() && !value.contains(QRegularExpression(QStringLiteral("[\\s'\\\\]"))))
        return value;
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

} // namespace

PgCluster::PgCluster(Fsync fsync)
    : m_dir(QDir::tempPath() + QStringLiteral("/corvane-pg-XXXXXX")), m_fsync(fsync == Fsync::On)
{
    if (!prepareFolder())
        return;
    const QString source = templateData();
    if (source.isEmpty())
        return;
    // Run by the test's user, which keeps the server's user as the owner when that is root.
    QProcess copy;
    copy.setProcessChannelMode(QProcess::MergedChannels);
    copy.start(QStringLiteral("cp"), {QStringLiteral("-a"), source, dataDir()});
    if (!copy.waitForFinished(kStartTimeoutMs) || copy.exitStatus() != QProcess::NormalExit ||
        copy.exitCode() != 0) {
        m_error = QStringLiteral("cannot copy %1: %2 %3")
                      .arg(source, copy.errorString(), QString::fromLocal8Bit(copy.readAll()));
        return;
    }
    start();
}

PgCluster::PgCluster(Fresh, const QString &folderPattern) : m_dir(folderPattern)
{
    if (!prepareFolder() || !initdb() || !start())
        return;
    for (const QString &sql : kSetup) {
        if (!query(sql, QStringLiteral("postgres"))) {
            const QString why = m_error;
            halt(SIGQUIT);
            m_error = why;
            return;
        }
    }
}

PgCluster::~PgCluster()
{
    halt(SIGQUIT);
}

// initdb costs a second of CPU, a copy of its result a fraction of that. The first fixture
// makes the copies' source and keeps it in the temporary folder for the others and the next
// runs, under a name that changes with the server's programs and with how it is made.
QString PgCluster::templateData()
{
    const QFileInfo initdbFile(binDir() + QStringLiteral("/initdb"));
    QCryptographicHash key(QCryptographicHash::Sha256);
    key.addData(QStringList{binDir(), QString::number(initdbFile.size()),
                            initdbFile.lastModified().toString(Qt::ISODateWithMs),
                            QString::number(geteuid()), kInitdbOptions.join(' '), kSetup.join(';')}
                    .join('\n')
                    .toUtf8());
    key.addData(kHba);
    const QString folder = QDir::tempPath() + QStringLiteral("/corvane-pg-template-") +
                           QString::fromLatin1(key.result().toHex().left(12));
    // The test processes ctest starts together wait for the first one's instead of each
    // making its own. flock, since the kernel lets go of it when its holder dies, and wakes
    // the next one at once. Close-on-exec, or the server would hold it.
    const int lock = ::open(QFile::encodeName(folder + QStringLiteral(".lock")).constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const auto unlock = qScopeGuard([lock] {
        if (lock >= 0)
            ::close(lock);
    });
    if (lock < 0 || flock(lock, LOCK_EX) != 0) {
        m_error = QStringLiteral("cannot lock %1.lock: %2").arg(folder, qt_error_string());
        return QString();
    }
    if (!QFileInfo::exists(folder)) {
        PgCluster fresh(Fresh{}, folder + QStringLiteral("-XXXXXX"));
        if (!fresh.isRunning() || !fresh.stop()) {
            m_error = fresh.error();
            return QString();
        }
        // Renamed whole, so that a folder of that name is always a finished one; the test's
        // user owns it, so that the server's cannot change what later copies start from.
        const QByteArray made = QFile::encodeName(fresh.m_dir.path());
        if (chown(made.constData(), geteuid(), getegid()) != 0 ||
            ::rename(made.constData(), QFile::encodeName(folder).constData()) != 0) {
            m_error = QStringLiteral("cannot make %1 from %2").arg(folder, fresh.m_dir.path());
            return QString();
        }
        fresh.m_dir.setAutoRemove(false);
    }
    if (QFileInfo(folder).ownerId() != geteuid()) {
        m_error = QStringLiteral("%1 is not the test user's: remove it").arg(folder);
        return QString();
    }
    return folder + QStringLiteral("/data");
}

// The temporary folder is 0700: the server's user has to own it to get in, and the socket's
// folder to put the socket there.
bool PgCluster::prepareFolder()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_dir.errorString();
        return false;
    }
    if (binDir().isEmpty()) {
        m_error = QStringLiteral("no PostgreSQL server installed (initdb not found)");
        return false;
    }
    if (geteuid() == 0 && !nobodyIfRoot()) {
        m_error = QStringLiteral("no user nobody to run the server as");
        return false;
    }
    if (!giveToServer(m_dir.path()) || !QDir().mkdir(socketDir()) || !giveToServer(socketDir())) {
        m_error = QStringLiteral("cannot prepare %1 for the server's user").arg(m_dir.path());
        return false;
    }
    return true;
}

// Every program of the server's runs in the folder, as the server's user, and goes when the
// test process does.
void PgCluster::prepare(QProcess &process) const
{
    process.setWorkingDirectory(m_dir.path());
    const passwd *nobody = nobodyIfRoot();
    const bool asNobody = nobody != nullptr;
    const uid_t uid = nobody ? nobody->pw_uid : 0;
    const gid_t gid = nobody ? nobody->pw_gid : 0;
    const pid_t parent = getpid();
    process.setChildProcessModifier([asNobody, uid, gid, parent] {
        if (asNobody && (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 ||
                         setresuid(uid, uid, uid) != 0)) {
            static const char why[] = "cannot become the user nobody to run the server\n";
            [[maybe_unused]] const auto written = write(STDERR_FILENO, why, sizeof why - 1);
            _exit(127);
        }
        // After the change of user, which would clear it. A parent already gone would never
        // send the signal, hence the check.
        if (prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || getppid() != parent)
            _exit(127);
    });
}

bool PgCluster::initdb()
{
    QProcess init;
    prepare(init);
    init.setProcessChannelMode(QProcess::MergedChannels);
    init.start(binDir() + QStringLiteral("/initdb"),
               kInitdbOptions + QStringList{QStringLiteral("--pgdata=") + dataDir()});
    if (!init.waitForFinished(kStartTimeoutMs) || init.exitStatus() != QProcess::NormalExit ||
        init.exitCode() != 0) {
        m_error = QStringLiteral("initdb failed: ") + init.errorString() + QLatin1Char('\n') +
                  QString::fromLocal8Bit(init.readAll());
        return false;
    }
    QFile hba(dataDir() + QStringLiteral("/pg_hba.conf"));
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate) || hba.write(kHba) < 0 ||
        !hba.flush()) {
        m_error = QStringLiteral("cannot write ") + hba.fileName();
        return false;
    }
    return true;
}

bool PgCluster::start()
{
    if (isRunning())
        return true;
    if (!QFileInfo::exists(dataDir() + QStringLiteral("/PG_VERSION"))) {
        m_error = QStringLiteral("no server was made in ") + m_dir.path();
        return false;
    }
    const QString log = m_dir.filePath(QStringLiteral("server.log"));
    const qint64 logStart = QFileInfo(log).size();
    // A file rather than a pipe: a test busy elsewhere would not read a pipe, and the server,
    // its pipe full, would hang.
    m_server = std::make_unique<QProcess>();
    prepare(*m_server);
    m_server->setProcessChannelMode(QProcess::MergedChannels);
    m_server->setStandardOutputFile(log, QIODevice::Append);
    // On the command line, so that the copies' source holds nothing of one fixture's.
    QStringList options{
        QStringLiteral("-D"), dataDir(),
        QStringLiteral("-c"), QStringLiteral("listen_addresses="),
        QStringLiteral("-c"), QStringLiteral("unix_socket_directories=") + socketDir(),
        QStringLiteral("-c"), QStringLiteral("port=%1").arg(kPort)};
    if (!m_fsync)
        options << QStringLiteral("-c") << QStringLiteral("fsync=off") << QStringLiteral("-c")
                << QStringLiteral("full_page_writes=off");
    m_server->start(binDir() + QStringLiteral("/postgres"), options);
    if (!m_server->waitForStarted()) {
        m_error = QStringLiteral("postgres did not start: ") + m_server->errorString();
        m_server.reset();
        return false;
    }
    const QByteArray ping =
        (conninfo(QStringLiteral("postgres")) + QStringLiteral(" connect_timeout=5")).toUtf8();
    QElapsedTimer clock;
    clock.start();
    while (PQping(ping.constData()) != PQPING_OK) {
        if (m_server->waitForFinished(10)) {
            m_error = QStringLiteral("postgres stopped:\n") + logSince(logStart);
            m_server.reset();
            return false;
        }
        if (clock.elapsed() > kStartTimeoutMs) {
            m_error = QStringLiteral("postgres did not accept connections within %1 s:\n")
                          .arg(kStartTimeoutMs / 1000) +
                      logSince(logStart);
            halt(SIGQUIT);
            return false;
        }
    }
    return true;
}

bool PgCluster::stop()
{
    return halt(SIGINT);
}

// SIGINT is PostgreSQL's fast shutdown, SIGQUIT its immediate one; a server that does not
// exit either way is killed.
bool PgCluster::halt(int signal)
{
    if (!m_server)
        return true;
    if (m_server->state() != QProcess::NotRunning) {
        ::kill(pid_t(m_server->processId()), signal);
        if (!m_server->waitForFinished(kStopTimeoutMs)) {
            m_error = QStringLiteral("postgres did not stop within %1 s; killed")
                          .arg(kStopTimeoutMs / 1000);
            m_server->kill();
            m_server->waitForFinished(5000);
        }
    }
    const bool stopped = m_server->state() == QProcess::NotRunning;
    if (stopped)
        m_server.reset();
    return stopped;
}

bool PgCluster::isRunning() const
{
    return m_server && m_server->state() != QProcess::NotRunning && !m_server->waitForFinished(0);
}

QString PgCluster::dataDir() const
{
    return m_dir.filePath(QStringLiteral("data"));
}

QString PgCluster::socketDir() const
{
    return m_dir.filePath(QStringLiteral("socket"));
}

QString PgCluster::conninfo(const QString &db, const QString &user) const
{
    return QStringLiteral("host=%1 port=%2 dbname=%3 user=%4")
        .arg(quoted(socketDir()))
        .arg(kPort)
        .arg(quoted(db), quoted(user));
}

std::optional<QList<QList<QByteArray>>> PgCluster::query(const QString &sql, const QString &db)
{
    const std::unique_ptr<PGconn, decltype(&PQfinish)> conn(
        PQconnectdb((conninfo(db) + QStringLiteral(" client_encoding=UTF8")).toUtf8().constData()),
        &PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        m_error = QString::fromUtf8(PQerrorMessage(conn.get())).trimmed();
        return std::nullopt;
    }
    const std::unique_ptr<PGresult, decltype(&PQclear)> result(
        PQexec(conn.get(), sql.toUtf8().constData()), &PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        m_error = QString::fromUtf8(PQresultErrorMessage(result.get())).trimmed();
        return std::nullopt;
    }
    QList<QList<QByteArray>> rows;
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        QList<QByteArray> &row = rows.emplace_back();
        for (int c = 0; c < PQnfields(result.get()); ++c)
            row << (PQgetisnull(result.get(), r, c) ? QByteArray()
                                                    : QByteArray(PQgetvalue(result.get(), r, c),
                                                                 PQgetlength(result.get(), r, c)));
    }
    return rows;
}

QString PgCluster::logSince(qint64 offset) const
{
    QFile log(m_dir.filePath(QStringLiteral("server.log")));
    if (!log.open(QIODevice::ReadOnly) || !log.seek(offset))
        return QString();
    return QString::fromLocal8Bit(log.readAll()).trimmed();
}
