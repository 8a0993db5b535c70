#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QTime>

// The journal's priorities, which a supervised program's lines on standard output carry.
enum class Priority { Error = 3, Warning = 4, Info = 6 };

// What a supervised program tells systemd through its notification socket: that it is ready,
// that its cycle is alive (the watchdog), a short status line, that it is stopping. Outside
// systemd (no NOTIFY_SOCKET) every call does nothing.
class ServiceNotifier {
public:
    ServiceNotifier();

    // Whether systemd listens: the rest is free to skip its work when not.
    bool isActive() const { return m_active; }

    void ready(const QString &status);
    // Called from the places a live cycle passes through; pings the watchdog, at most every
    // pingIntervalMs(). A cycle stuck anywhere stops the pings, and systemd restarts it.
    void alive();
    // Sent only when it differs from the last status sent, and only once ready.
    void setStatus(const QString &status);
    void stopping();

    // "1,234 records today, last at 14:02", without the time before the first: the day's
    // figure in both programs' status lines, counted names what they count.
    static QString todaysFigure(qint64 count, const QString &counted, const QTime &last);

    // Well inside half the watchdog period, so a ping is never late by more than the longest
    // stretch between two places the cycle passes through; 0 without a watchdog.
    qint64 pingIntervalMs() const { return m_pingIntervalMs; }

private:
    void send(const QByteArray &state);

    qint64 m_pingIntervalMs = 0;
    QElapsedTimer m_lastPing;
    QString m_status;
    bool m_active = false;
    bool m_ready = false; // a status before ready goes out with it
};
