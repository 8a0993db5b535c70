#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTest>

#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// systemd's end of NOTIFY_SOCKET: a datagram socket. Each message is kept with the time it
// arrived (ms since the socket was made), so a test waits through wait(), which reads them.
struct NotifySocket {
    QString path;
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    QElapsedTimer clock;
    QList<std::pair<qint64, QByteArray>> messages;
    QStringList statuses; // every STATUS= line, in order

    explicit NotifySocket(const QString &socketPath) : path(socketPath)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        clock.start();
    }
    ~NotifySocket() { ::close(fd); }
    // Reads what comes until done() holds (true) or ms have passed (false).
    bool wait(
        int ms, const std::function<bool()> &done = [] { return false; })
    {
        return QTest::qWaitFor(
            [&] {
                char buffer[4096];
                for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
                    messages.append({clock.elapsed(), QByteArray(buffer, int(n))});
                    for (const QByteArray &line : messages.last().second.split('\n'))
                        if (line.startsWith("STATUS="))
                            statuses << QString::fromUtf8(line.mid(7));
                }
                return done();
            },
            ms);
    }
    bool waitForStatus(const QString &part, int ms)
    {
        return wait(ms, [&] { return statuses.join('|').contains(part); });
    }
};
