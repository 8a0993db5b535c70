#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <QTest>

#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// systemd's end of NOTIFY_SOCKET: a datagram socket. Each message is kept with the time it
// was read (ms since the socket was made), which is whenever the test's event loop runs.
struct NotifySocket {
    QString path;
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    QElapsedTimer clock;
    QList<std::pair<qint64, QByteArray>> messages;
    QStringList statuses; // every STATUS= line, in order
    QSocketNotifier reader{fd, QSocketNotifier::Read};
    static constexpr qint64 kWatchdogUs = 2000000;

    explicit NotifySocket(const QString &socketPath) : path(socketPath)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        clock.start();
        QObject::connect(&reader, &QSocketNotifier::activated, [this] { read(); });
    }
    ~NotifySocket() { ::close(fd); }
    // What systemd gives a service it supervises: this socket and a watchdog.
    QProcessEnvironment environment(QProcessEnvironment env) const
    {
        env.insert("NOTIFY_SOCKET", path);
        env.insert("WATCHDOG_USEC", QString::number(kWatchdogUs));
        return env;
    }
    void read()
    {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            messages.append({clock.elapsed(), QByteArray(buffer, int(n))});
            for (const QByteArray &line : messages.last().second.split('\n'))
                if (line.startsWith("STATUS="))
                    statuses << QString::fromUtf8(line.mid(7));
        }
    }
    // Reads what comes until done() holds (true) or ms have passed (false).
    bool wait(int ms, const std::function<bool()> &done = {})
    {
        return QTest::qWaitFor([&] { return read(), done && done(); }, ms);
    }
    bool waitForStatus(const QString &part, int ms)
    {
        return wait(ms, [&] { return statuses.join('|').contains(part); });
    }
    // Empty when the service, once stopped, told systemd what it should: ready first, the
    // statuses (joined by '|') as the whole of statusPattern has them, stopping last, and
    // watchdog pings never further apart than half the period; otherwise what was wrong.
    QString misses(const QString &statusPattern)
    {
        read(); // its last words
        const QRegularExpression expected(QRegularExpression::anchoredPattern(statusPattern));
        if (!expected.match(statuses.join('|')).hasMatch())
            return "statuses: " + statuses.join('|');
        if (messages.isEmpty() || !messages.first().second.startsWith("READY=1\nSTATUS=") ||
            messages.last().second != "STOPPING=1")
            return "not ready first and stopping last";
        qint64 previous = messages.first().first;
        for (const auto &[atMs, text] : std::as_const(messages)) {
            if (text != "WATCHDOG=1" && text != "STOPPING=1")
                continue;
            if (const qint64 gap = atMs - std::exchange(previous, atMs); gap > kWatchdogUs / 2000)
                return QStringLiteral("no watchdog ping for %1 ms").arg(gap);
        }
        return {};
    }
};
