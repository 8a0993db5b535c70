#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// A PostgreSQL server of the test's own, initdb'd into a temporary folder and listening on a
// Unix socket there only, run as "nobody" when the test is root (initdb and postgres refuse
// root). It is the test process's child and gets SIGQUIT (immediate shutdown) when that
// process ends, killed or crashed included: make it on the thread that keeps it.
//
// Roles: "corvane", the superuser, owns the database "corvane"; "clerk" may log in and no
// more; every role gets in without a password but "locked", which must give "secret". There
// is no database "nosuch".
class PgCluster {
public:
    // fsync off suits tests; a benchmark wants it on, to measure what a real server does.
    // settings: more of the server's own, "name=value" each (max_connections=30), kept across
    // restarts.
    explicit PgCluster(bool fsync = false, const QStringList &settings = {});
    ~PgCluster() { stop(); }

    bool isRunning() const { return m_server && m_server->state() != QProcess::NotRunning; }
    QString error() const { return m_error; }
    // Fast shutdown, keeping the data; start() brings it back on the same socket.
    bool stop();
    bool start();

    // As "corvane"; a user= or dbname= added after it wins.
    QString conninfo(const QString &db = QStringLiteral("corvane")) const
    {
        return QStringLiteral("host=%1 port=%2 dbname=%3 user=corvane")
            .arg(m_dir.path())
            .arg(m_port)
            .arg(db);
    }
    // Restarts the server with TLS on (ssl, which a reload may turn off), listening on the
    // loopback too, on port(), with a certificate for localhost made by openssl: certificate().
    bool listenWithTls();
    int port() const { return m_port; }
    // Where the server's socket is, as libpq's host= takes it.
    QString socketDir() const { return m_dir.path(); }
    QString certificate() const { return m_dir.filePath(QStringLiteral("server.crt")); }
    // sql as the superuser on db, through psql: a line per row, its values between blanks.
    // Nothing on failure, and error() says why.
    QStringList query(const QString &sql, const QString &db = QStringLiteral("corvane"));

    // A child process modifier: the child runs as the server's user (so as nobody when the test
    // is root, whom permissions do not stop) and gets signal when the test process ends.
    static std::function<void()> asServerUser(int signal);

private:
    bool run(QProcess &process, const QString &program, const QStringList &arguments);

    QTemporaryDir m_dir;
    bool m_fsync;
    int m_port = 5432;
    QStringList m_settings;
    std::unique_ptr<QProcess> m_server;
    QString m_error;
};
