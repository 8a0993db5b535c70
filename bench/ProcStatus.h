#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A figure of /proc/PID/status, such as "VmHWM" or "VmRSS", in MB; -1 when unreadable.
inline double procStatusMb(qint64 pid, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}
