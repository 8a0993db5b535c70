#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class PgCluster;

// A pgbouncer of the test's own in front of a PgCluster, pooling by transaction (each
// transaction may get another server connection, as a chain's office would run it), on a Unix
// socket in a temporary folder only. It runs as the server's user, since pgbouncer refuses
// root, and ends with the test process. The roles named get in without a password.
class PgBouncer {
public:
    // settings: more lines of its [pgbouncer] section ("default_pool_size = 20"); a later
    // line wins over the defaults.
    explicit PgBouncer(const PgCluster &server,
                       const QStringList &users = {QStringLiteral("corvane")},
                       const QStringList &settings = {});
    ~PgBouncer();

    bool isRunning() const { return m_process && m_process->state() != QProcess::NotRunning; }
    QString error() const { return m_error; }

    // As "corvane"; a user= added after it wins.
    QString conninfo(const QString &db = QStringLiteral("corvane")) const
    {
        return QStringLiteral("host=%1 port=%2 dbname=%3 user=corvane")
            .arg(m_dir.path())
            .arg(kPort)
            .arg(db);
    }

private:
    static constexpr int kPort = 6432; // names the socket only: the folder is the pooler's own

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    QString m_error;
};
