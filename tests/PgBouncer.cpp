#include "PgBouncer.h"
#include "PgCluster.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <csignal>
#include <sys/stat.h>

PgBouncer::PgBouncer(const PgCluster &server, const QStringList &users, const QStringList &settings)
    : m_dir(QDir::tempPath() + QStringLiteral("/corvane-pgbouncer-XXXXXX"))
{
    QByteArray userList;
    for (const QString &user : users)
        userList += '"' + user.toUtf8() + "\" \"\"\n";
    const QString config = QStringLiteral("[databases]\n"
                                          "* = host=%1 port=%2\n"
                                          "[pgbouncer]\n"
                                          "unix_socket_dir = %3\n"
                                          "listen_port = %4\n"
                                          "auth_type = trust\n"
                                          "auth_file = %3/users.txt\n"
                                          "pool_mode = transaction\n")
                               .arg(server.socketDir())
                               .arg(server.port())
                               .arg(m_dir.path())
                               .arg(kPort) +
                           settings.join(QLatin1Char('\n')) + QLatin1Char('\n');
    // The pooler, as the server's user, makes its socket here: the folder is open to it the
    // way /tmp is.
    if (::chmod(QFile::encodeName(m_dir.path()).constData(), 01777) != 0 ||
        !writeBytes(m_dir.path(), QStringLiteral("users.txt"), userList) ||
        !writeBytes(m_dir.path(), QStringLiteral("pgbouncer.ini"), config.toUtf8())) {
        m_error = QStringLiteral("cannot write pgbouncer's files in ") + m_dir.path();
        return;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setChildProcessModifier(PgCluster::asServerUser(SIGTERM));
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    // A file rather than a pipe: it logs every connection, and nobody reads a pipe meanwhile.
    const QString log = m_dir.filePath(QStringLiteral("pgbouncer.log"));
    m_process->setStandardOutputFile(log);
    m_process->start(QStringLiteral("pgbouncer"),
                     {m_dir.filePath(QStringLiteral("pgbouncer.ini"))});
    // Listening once its socket is there.
    const QString socket = m_dir.filePath(QStringLiteral(".s.PGSQL.%1").arg(kPort));
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(socket)) {
        if (m_process->waitForFinished(10) || clock.elapsed() > 10000) {
            m_error = QStringLiteral("pgbouncer did not start; see ") + log;
            m_dir.setAutoRemove(false);
            return;
        }
    }
}

PgBouncer::~PgBouncer()
{
    if (!isRunning())
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(10000)) {
        m_process->kill();
        m_process->waitForFinished();
    }
}
