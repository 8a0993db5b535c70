// corvane-ship: every record line stored in a folder of poll files, into PostgreSQL, once.
// One instance per poll folder; meant to run as a systemd service (corvane-ship@N) beside
// the poller that writes the folder.
#include "commit/FolderId.h"
#include "headless/Headless.h"
#include "ship/PgSession.h"
#include "ship/Shipper.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QSysInfo>

#include <optional>

namespace {

// Parses the arguments; on a bad one says why on standard error and returns nothing.
std::optional<ship::Shipper::Options> parseOptions(const QCoreApplication &app, QString *target)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Ships every record line stored in the poll files (dd-mm-yy.pol) of a folder into a "
        "PostgreSQL database, each exactly once, and keeps doing so as records arrive. Logs "
        "one line per event."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption dir(QStringLiteral("dir"),
                                 QStringLiteral("Folder of the poll files (default: current)."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption database(
        QStringLiteral("database"),
        QStringLiteral("libpq connection string or URI, without a password (refused: every user "
                       "can read it in the process list); the password from ~/.pgpass, "
                       "PGPASSFILE, a service file or the unit's credential. Over TCP to a "
                       "host other than the loopback, sslmode=verify-full unless it sets "
                       "sslmode."),
        QStringLiteral("CONNINFO"));
    const QCommandLineOption station(
        QStringLiteral("station"),
        QStringLiteral("Where the rows say they come from (default: the folder's station, by "
                       "its identity; a new one is named host:folder)."),
        QStringLiteral("NAME"));
    const QCommandLineOption once(QStringLiteral("once"),
                                  QStringLiteral("Ship what is there, then exit."));
    const QCommandLineOption idle(
        QStringLiteral("idle-timeout"),
        QStringLiteral("Seconds a connection with nothing to do is kept before it is let go "
                       "(default 5; 0: let go at once). It is let go at once whenever half the "
                       "server's connections are taken."),
        QStringLiteral("SECONDS"), QStringLiteral("5"));
    parser.addOptions({dir, database, station, once, idle});
    if (!headless::parseArguments(parser, app))
        return std::nullopt;
    if (!parser.isSet(database))
        return headless::refuse(QStringLiteral("give --database CONNINFO"));

    ship::Shipper::Options o;
    o.dir = headless::folderArgument(parser, dir);
    const QFileInfo folder(o.dir);
    if (!folder.isDir() || !folder.isReadable())
        return headless::refuse(QStringLiteral("--dir %1 is not a readable folder").arg(o.dir));
    o.conninfo = parser.value(database).toUtf8();
    const QString password = QStringLiteral(
        "give the password in ~/.pgpass, a file named by PGPASSFILE, a service file, or the "
        "unit's credential (/etc/corvane/ship-N.pgpass)");
    QString error;
    *target = ship::PgSession::describe(o.conninfo, &error);
    if (target->isEmpty()) {
        // libpq's complaint may quote a piece of the string, so of a password too.
        static const QRegularExpression secret(QStringLiteral("password|://[^/@]*:[^/@]*@"),
                                               QRegularExpression::CaseInsensitiveOption);
        return headless::refuse(QStringLiteral("--database does not parse") +
                                (secret.match(parser.value(database)).hasMatch()
                                     ? QStringLiteral("; ") + password
                                     : QStringLiteral(": ") + error));
    }
    if (ship::PgSession::carriesPassword(o.conninfo))
        return headless::refuse(
            QStringLiteral("--database carries a password, which every user can read in the "
                           "process list; ") +
            password);
    if (const QByteArray sslmode = ship::PgSession::askedSslMode(o.conninfo); !sslmode.isEmpty())
        *target += QStringLiteral(", sslmode=") + QString::fromLatin1(sslmode);
    o.seenAs = QSysInfo::machineHostName() + QLatin1Char(':') + o.dir;
    o.station = parser.value(station);
    if (parser.isSet(station) && o.station.isEmpty())
        return headless::refuse(QStringLiteral("--station must not be empty"));
    o.once = parser.isSet(once);
    bool ok = false;
    const double idleS = parser.value(idle).toDouble(&ok);
    if (!ok || idleS < 0 || idleS > 3600)
        return headless::refuse(QStringLiteral("--idle-timeout must be 0 to 3600 seconds, not %1")
                                    .arg(parser.value(idle)));
    o.idleMs = int(idleS * 1000);
    return o;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-ship"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    QString target;
    std::optional<ship::Shipper::Options> options = parseOptions(app, &target);
    if (!options)
        return headless::kBadArguments;
    // A stop also ends any wait on the database at once.
    options->stopFd = headless::stopOnSignals();
    if (options->stopFd < 0)
        return 1;

    // Made here when the poller has not yet (a folder shipped by hand); the service sees the
    // folder read-only and ships it by its name until the poller gives it one.
    QString why;
    options->folderId = FolderId::ensure(options->dir, &why);
    QString shipping = options->seenAs;
    if (!options->folderId.isEmpty())
        shipping += QStringLiteral(" (folder %1)").arg(QString::fromLatin1(options->folderId));
    if (!options->station.isEmpty())
        shipping += QStringLiteral(" as station ") + options->station;
    headless::logLine(Priority::Info,
                      QStringLiteral("corvane-ship %1: shipping %2 to %3")
                          .arg(QCoreApplication::applicationVersion(), shipping, target));
    if (options->folderId.isEmpty())
        headless::logLine(
            Priority::Info,
            QStringLiteral("the folder has no identity yet: %1; it ships as station "
                           "%2 until it has one")
                .arg(why, options->station.isEmpty() ? options->seenAs : options->station));
    ship::Shipper shipper(*options);
    QObject::connect(&shipper, &ship::Shipper::logLine, &headless::logLine);
    QObject::connect(&shipper, &ship::Shipper::finished, &app, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    // The byte is left in the pipe, unlike the poller's: a stop ends the program, and any
    // wait on the database that is under way must see it too.
    QSocketNotifier stop(options->stopFd, QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &shipper, &ship::Shipper::stop);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, [] { QCoreApplication::exit(0); });
    shipper.start();
    const int status = app.exec();
    headless::logLine(Priority::Info, QStringLiteral("stopped"));
    return status;
}
