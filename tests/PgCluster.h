#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class QProcess;

// A PostgreSQL server of the test's own, in a temporary folder, listening on a Unix socket in
// that folder only (no TCP port), run as "nobody" when the test is root (initdb and postgres
// refuse root). The server is the test process's child and gets SIGQUIT (immediate shutdown)
// when that process ends, killed or crashed included. The kernel sends that signal when the
// thread that started the server ends: construct and start() it on a thread that outlives it.
//
// Roles: "corvane", the superuser, owns the database "corvane" and gets in without a password,
// as does any role a test creates; "locked" has to give its password, "secret", so that a wrong
// one can be refused. There is no database "nosuch".
//
// Each server is a copy of one initdb'd by the first fixture into the temporary folder and
// kept there for the next ones: about 0.7 s to construct, 2.5 s for that first one.
class PgCluster {
public:
    // Off suits tests; a benchmark wants On, to measure what a real server does.
    enum class Fsync { Off, On };

    explicit PgCluster(Fsync fsync = Fsync::Off);
    // Immediate shutdown, then the folder goes.
    ~PgCluster();
    PgCluster(const PgCluster &) = delete;
    PgCluster &operator=(const PgCluster &) = delete;

    bool isRunning() const;
    // Why the last start, stop or query failed, in the server's or libpq's words.
    QString error() const { return m_error; }
    // Fast shutdown: clients are cut off, the data stays. True once the server has exited.
    bool stop();
    // Starts the server again on the same data and socket; true once it accepts connections.
    bool start();

    QString socketDir() const;
    static constexpr int kPort = 5432;
    // A libpq connection string for database db as role user, through the socket.
    QString conninfo(const QString &db = QStringLiteral("corvane"),
                     const QString &user = QStringLiteral("corvane")) const;
    // Runs sql (several statements allowed) as the superuser on db: the last statement's rows,
    // each value as text, SQL NULL as a null QByteArray. On failure nothing, and error() says why.
    std::optional<QList<QList<QByteArray>>> query(const QString &sql,
                                                  const QString &db = QStringLiteral("corvane"));

private:
    struct Fresh {};
    // initdb'd rather than copied: how the copies' source is made.
    PgCluster(Fresh, const QString &folderPattern);
    bool prepareFolder();
    bool initdb();
    QString templateData();
    bool halt(int signal);
    void prepare(QProcess &process) const;
    QString dataDir() const;
    QString logSince(qint64 offset) const;

    QTemporaryDir m_dir;
    bool m_fsync = false;
    std::unique_ptr<QProcess> m_server;
    QString m_error;
};
