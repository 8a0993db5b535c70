#include "ServiceNotifier.h"

#include <QLocale>

#include <systemd/sd-daemon.h>

namespace {
constexpr qint64 kLongestPingIntervalMs = 1000;
}

ServiceNotifier::ServiceNotifier() : m_active(qEnvironmentVariableIsSet("NOTIFY_SOCKET"))
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        m_pingIntervalMs = qBound<qint64>(1, qint64(usec / 8000), kLongestPingIntervalMs);
}

void ServiceNotifier::send(const QByteArray &state)
{
    sd_notify(0, state.constData());
}

void ServiceNotifier::ready(const QString &status)
{
    m_status = status;
    m_ready = true;
    send("READY=1\nSTATUS=" + status.toUtf8());
    m_lastPing.start();
}

void ServiceNotifier::alive()
{
    if (m_pingIntervalMs == 0 || (m_lastPing.isValid() && m_lastPing.elapsed() < m_pingIntervalMs))
        return;
    send("WATCHDOG=1");
    m_lastPing.start();
}

void ServiceNotifier::setStatus(const QString &status)
{
    if (status == m_status)
        return;
    m_status = status;
    if (m_ready)
        send("STATUS=" + status.toUtf8());
}

void ServiceNotifier::stopping()
{
    // systemd stops watching once the unit is stopping.
    m_pingIntervalMs = 0;
    send("STOPPING=1");
}

QString ServiceNotifier::todaysFigure(qint64 count, const QString &counted, const QTime &last)
{
    QString figure = QStringLiteral("%1 %2 today").arg(QLocale::c().toString(count), counted);
    if (last.isValid())
        figure += QStringLiteral(", last at ") + last.toString(QStringLiteral("HH:mm"));
    return figure;
}
