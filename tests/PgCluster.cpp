#include "PgCluster.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <arpa/inet.h>
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

PgCluster::PgCluster(bool fsync, const QStringList &settings)
    : m_dir(QDir::tempPath() + QStringLiteral("/corvane-pg-XXXXXX")), m_fsync(fsync)
{
    for (const QString &setting : settings)
        m_settings << QStringLiteral("-c") << setting;
    // The server's user must own the folder (0700) and the socket's.
    const passwd *user = serverUser();
    const QByteArray dir = QFile::encodeName(m_dir.path());
    QProcess init;
    if ((user && ::chown(dir.constData(), user->pw_uid, user->pw_gid) != 0) ||
        !run(init, QStringLiteral("initdb"),
             {"--no-sync", "--auth=trust", "--username=corvane", "--encoding=UTF8", "--locale=C",
              "--pgdata=" + m_dir.filePath("data")}) ||
        !writeBytes(m_dir.filePath(QStringLiteral("data")), QStringLiteral("pg_hba.conf"),
                    "local all locked scram-sha-256\nlocal all all trust\n"
                    "host all all 127.0.0.1/32 trust\n") ||
        !start()) {
        m_error = QStringLiteral("cannot make a server: ") + m_error;
        return;
    }
    query("CREATE ROLE locked LOGIN PASSWORD 'secret'; CREATE ROLE clerk LOGIN", "postgres");
    query("CREATE DATABASE corvane", "postgres");
    if (!m_error.isEmpty())
        stop();
}

std::function<void()> PgCluster::asServerUser(int signal)
{
    const passwd *user = serverUser();
    const uid_t uid = user ? user->pw_uid : 0;
    const gid_t gid = user ? user->pw_gid : 0;
    const pid_t parent = getpid();
    return [user, uid, gid, parent, signal] {
        if ((user && (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 ||
                      setresuid(uid, uid, uid) != 0)) ||
            prctl(PR_SET_PDEATHSIG, signal) != 0 || getppid() != parent)
            _exit(127);
    };
}

// As the server's user, ending with the test process.
bool PgCluster::run(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.setChildProcessModifier(asServerUser(SIGQUIT));
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
    if (!run(*m_server, QStringLiteral("postgres"),
             QStringList{"-D", m_dir.filePath("data"), "-k", m_dir.path(), "-p",
                         QString::number(m_port), "-c", m_fsync ? "fsync=on" : "fsync=off", "-c",
                         "listen_addresses="} +
                 m_settings))
        return false;
    QElapsedTimer clock;
    clock.start();
    for (QProcess ready; !run(ready, QStringLiteral("pg_isready"),
                              {"-q", "-h", m_dir.path(), "-p", QString::number(m_port)});) {
        if (m_server->waitForFinished(10) || clock.elapsed() > 60000) {
            m_error = QStringLiteral("postgres did not start; see ") + m_dir.filePath("server.log");
            m_dir.setAutoRemove(false);
            return false;
        }
    }
    m_error.clear();
    return true;
}

bool PgCluster::stop()
{
    if (isRunning())
        ::kill(pid_t(m_server->processId()), SIGINT);
    return !m_server || m_server->waitForFinished(30000) || !isRunning();
}

bool PgCluster::listenWithTls()
{
    // A port nobody listens on now.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size);
    ::close(fd);
    QProcess openssl;
    openssl.setChildProcessModifier(asServerUser(SIGKILL));
    openssl.setWorkingDirectory(m_dir.path());
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                   "/CN=localhost", "-addext", "subjectAltName=DNS:localhost", "-keyout",
                   "server.key", "-out", "server.crt"});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0 || !stop())
        return false;
    m_port = ntohs(address.sin_port);
    m_settings += QStringList{"-c", "listen_addresses=127.0.0.1",
                              "-c", "ssl_cert_file=" + certificate(),
                              "-c", "ssl_key_file=" + m_dir.filePath("server.key")};
    m_error.clear();
    return start() && (query("ALTER SYSTEM SET ssl = on", "postgres"), m_error.isEmpty()) &&
           query("SELECT pg_reload_conf()", "postgres") == QStringList{"t"};
}

QStringList PgCluster::query(const QString &sql, const QString &db)
{
    QProcess psql;
    if (!run(psql, QStringLiteral("psql"),
             {"-XqAt", "-F", " ", "-v", "ON_ERROR_STOP=1", "-c", sql, "-d",
              conninfo(db) + QStringLiteral(" client_encoding=UTF8")}))
        return {};
    return QString::fromUtf8(psql.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
