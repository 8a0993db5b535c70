#include "PortHolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <unistd.h>

namespace {

QByteArray readSmallFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(4096) : QByteArray();
}

bool isOtherLiveProcess(qint64 pid)
{
    return pid > 0 && pid != ::getpid() && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

// Where serial programs (QSerialPort, minicom, picocom) look for the lock, in their order.
const QStringList kLockFolders = {
    QStringLiteral("/var/lock"),
    QStringLiteral("/etc/locks"),
    QStringLiteral("/var/spool/locks"),
    QStringLiteral("/var/spool/uucp"),
    QStringLiteral("/tmp"),
    QStringLiteral("/var/tmp"),
    QStringLiteral("/var/lock/lockdev"),
    QStringLiteral("/run/lock"),
};

// The lock file a serial program writes for device (the first lock folder usable here).
QString lockFilePath(const QString &device)
{
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.prepend(QLatin1String("/LCK.."));
    for (const QString &folder : kLockFolders) {
        const QFileInfo info(folder);
        if (info.isReadable() && (QFileInfo::exists(folder + name) || info.isWritable()))
            return folder + name;
    }
    return {};
}

} // namespace

std::optional<PortHolder> PortHolder::find(const QString &device)
{
    // The lock file's first line is the holder's process id (QLockFile and UUCP alike).
    const QString lock = lockFilePath(device);
    if (!lock.isEmpty()) {
        const qint64 pid = readSmallFile(lock).split('\n').value(0).trimmed().toLongLong();
        if (isOtherLiveProcess(pid))
            return describe(pid);
    }
    // A program that writes no lock file: whoever has the device open (only processes of
    // this user are visible, or all of them to root).
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok || !isOtherLiveProcess(pid))
            continue;
        const QDir fds(proc.filePath(entry + QStringLiteral("/fd")));
        for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
            if (QFile::symLinkTarget(fds.filePath(fd)) == device)
                return describe(pid);
        }
    }
    return std::nullopt;
}

std::optional<PortHolder> PortHolder::describe(qint64 pid)
{
    PortHolder h;
    h.pid = pid;
    h.program =
        QString::fromLocal8Bit(readSmallFile(QStringLiteral("/proc/%1/comm").arg(pid)).trimmed());
    if (h.program.isEmpty())
        return std::nullopt;
    // A system service's process sits in a cgroup named after the unit; a user's own units
    // (under user@UID.service) are not stopped with sudo, so they are left unnamed.
    static const QRegularExpression service(QStringLiteral("^0::(/[^\\n]*)?/([^/\\n]+\\.service)$"),
                                            QRegularExpression::MultilineOption);
    const QString cgroup =
        QString::fromLocal8Bit(readSmallFile(QStringLiteral("/proc/%1/cgroup").arg(pid)));
    const QRegularExpressionMatch m = service.match(cgroup);
    if (m.hasMatch() && !m.captured(1).contains(QLatin1String("/user@")))
        h.unit = m.captured(2);
    return h;
}

QString PortHolder::stopCommand() const
{
    QString name = unit;
    name.chop(int(sizeof(".service") - 1));
    return QStringLiteral("sudo systemctl stop ") + name;
}

QString PortHolder::operatorLine() const
{
    if (unit.isEmpty())
        return QCoreApplication::translate(
                   "PortHolder", "Porta in uso da %1 (processo %2): chiudere quel programma")
            .arg(program)
            .arg(pid);
    return QCoreApplication::translate("PortHolder",
                                       "Porta in uso da %1 (processo %2, servizio %3): %4")
        .arg(program)
        .arg(pid)
        .arg(unit, stopCommand());
}

QString PortHolder::logText() const
{
    if (unit.isEmpty())
        return QStringLiteral("held by %1 (pid %2); close it to free the port")
            .arg(program)
            .arg(pid);
    return QStringLiteral("held by %1 (pid %2, unit %3); to free it: %4")
        .arg(program)
        .arg(pid)
        .arg(unit, stopCommand());
}
