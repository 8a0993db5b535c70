#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>

// A PostgreSQL server of the test's own, initdb'd into a temporary folder and listening on a
// Unix socket there only, run as "nobody" when the test is root (initdb and postgres refuse
// root). It is the test process's child and gets SIGQUIT (immediate shutdown) when that
// process ends, killed or crashed included: make it on the thread that keeps it.
//
// Roles: "corvane", the superuser, owns the database "corvane"; every role gets in without a
// password but "locked", which must give "secret". There is no database "nosuch".
class PgCluster {
public:
    // Off suits tests; a benchmark wants On, to measure what a real server does.
    enum class Fsync { Off, On };

    explicit PgCluster(Fsync fsync = Fsync::Off);
    ~PgCluster();

    bool isRunning() const;
    QString error() const { return m_error; }
    // Fast shutdown, keeping the data; start() brings it back on the same socket.
    bool stop();
    bool start();

    QString conninfo(const QString &db = QStringLiteral("corvane"),
                     const QString &user = QStringLiteral("corvane")) const;
    // sql as the superuser on db: the last statement's rows, each value as text. Nothing on
    // failure, and error() says why.
    std::optional<QList<QList<QByteArray>>> query(const QString &sql,
                                                  const QString &db = QStringLiteral("corvane"));

private:
    bool run(QProcess &process, const QString &program, const QStringList &arguments);

    QTemporaryDir m_dir;
    bool m_fsync;
    std::unique_ptr<QProcess> m_server;
    QString m_error;
};
