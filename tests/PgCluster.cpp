#include "PgCluster.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <libpq-fe.h>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// The newest server Debian's postgresql packages installed.
QString binDir()
{
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    const QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    return versions.filePath(found.value(found.size() - 1) + QStringLiteral("/bin"));
}

const passwd *serverUser()
{
    return geteuid() == 0 ? getpwnam("nobody") : nullptr;
}

} // namespace

PgCluster::PgCluster(Fsync fsync)
    : m_dir(QDir::tempPath() + QStringLiteral("/corvane-pg-XXXXXX")), m_fsync(fsync == Fsync::On)
{
    // The server's user must own the folder (0700) and the socket's.
    const passwd *user = serverUser();
    const QByteArray dir = QFile::encodeName(m_dir.path());
    if (!m_dir.isValid() || (user && ::chown(dir.constData(), user->pw_uid, user->pw_gid) != 0)) {
        m_error = QStringLiteral("cannot prepare a folder for the server");
        return;
    }
    QProcess init;
    if (!run(init, QStringLiteral("initdb"),
             {"--no-sync", "--auth=trust", "--username=corvane", "--encoding=UTF8", "--locale=C",
              "--pgdata=" + m_dir.filePath("data")}))
        return;
    QFile hba(m_dir.filePath(QStringLiteral("data/pg_hba.conf")));
    if (!hba.open(QIODevice::WriteOnly) ||
        hba.write("local all locked scram-sha-256\nlocal all all trust\n") < 0) {
        m_error = QStringLiteral("cannot write pg_hba.conf");
        return;
    }
    hba.close();
    if (start() && !(query("CREATE ROLE locked LOGIN PASSWORD 'secret'", "postgres") &&
                     query("CREATE DATABASE corvane", "postgres")))
        stop();
}

PgCluster::~PgCluster()
{
    if (isRunning()) {
        ::kill(pid_t(m_server->processId()), SIGQUIT);
        m_server->waitForFinished();
    }
}

// As the server's user, ending with the test process.
bool PgCluster::run(QProcess &process, const QString &program, const QStringList &arguments)
{
    const passwd *user = serverUser();
    const uid_t uid = user ? user->pw_uid : 0;
    const gid_t gid = user ? user->pw_gid : 0;
    const pid_t parent = getpid();
    process.setChildProcessModifier([user, uid, gid, parent] {
        if ((user && (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 ||
                      setresuid(uid, uid, uid) != 0)) ||
            prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || getppid() != parent)
            _exit(127);
    });
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(binDir() + QLatin1Char('/') + program, arguments);
    if (&process == m_server.get())
        return process.waitForStarted();
    if (process.waitForFinished(60000) && process.exitCode() == 0)
        return true;
    m_error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAll());
    return false;
}

bool PgCluster::start()
{
    if (isRunning())
        return true;
    m_server = std::make_unique<QProcess>();
    // A file rather than a pipe, which the server could fill while a test looks elsewhere.
    m_server->setStandardOutputFile(m_dir.filePath(QStringLiteral("server.log")),
                                    QIODevice::Append);
    QStringList options{"-D", m_dir.filePath("data"), "-k", m_dir.path(),
                        "-c", "listen_addresses="};
    if (!m_fsync)
        options << "-c"
                << "fsync=off";
    if (!run(*m_server, QStringLiteral("postgres"), options))
        return false;
    const QByteArray ping = conninfo(QStringLiteral("postgres")).toUtf8();
    QElapsedTimer clock;
    clock.start();
    while (PQping(ping.constData()) != PQPING_OK) {
        if (m_server->waitForFinished(10) || clock.elapsed() > 60000) {
            m_error = QStringLiteral("postgres did not start; see ") + m_dir.filePath("server.log");
            m_dir.setAutoRemove(false);
            return false;
        }
    }
    return true;
}

bool PgCluster::stop()
{
    if (isRunning())
        ::kill(pid_t(m_server->processId()), SIGINT);
    return !m_server || m_server->waitForFinished(30000) || !isRunning();
}

bool PgCluster::isRunning() const
{
    return m_server && m_server->state() != QProcess::NotRunning;
}

QString PgCluster::conninfo(const QString &db, const QString &user) const
{
    return QStringLiteral("host=%1 dbname=%2 user=%3").arg(m_dir.path(), db, user);
}

std::optional<QList<QList<QByteArray>>> PgCluster::query(const QString &sql, const QString &db)
{
    const std::unique_ptr<PGconn, decltype(&PQfinish)> conn(
        PQconnectdb((conninfo(db) + QStringLiteral(" client_encoding=UTF8")).toUtf8().constData()),
        &PQfinish);
    const std::unique_ptr<PGresult, decltype(&PQclear)> result(
        PQexec(conn.get(), sql.toUtf8().constData()), &PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        m_error = QString::fromUtf8(PQerrorMessage(conn.get())).trimmed();
        return std::nullopt;
    }
    QList<QList<QByteArray>> rows;
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        QList<QByteArray> &row = rows.emplace_back();
        for (int c = 0; c < PQnfields(result.get()); ++c)
            row << QByteArray(PQgetvalue(result.get(), r, c));
    }
    return rows;
}
