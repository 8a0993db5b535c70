#include "SimFixture.h"

#include <QElapsedTimer>

#include <sys/resource.h>

SimFixture::SimFixture()
{
    terminal.linkAs(dir.path(), 1);
    link = std::make_unique<SerialLink>(dir);
}

bool SimFixture::openLink(int portNumber)
{
    try {
        link->setCommPort(portNumber);
        link->setSettings(QStringLiteral("9600,n,8,1"));
        link->setPortOpen(true);
        return true;
    } catch (const SerialError &) {
        return false;
    }
}

Exchange SimFixture::exchange(ExchangeStyle style)
{
    return Exchange(*link, dialogs, lock, std::move(style));
}

void putFault(sim::TerminalSim &terminal, const QString &steps)
{
    for (const QString &step : steps.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString key = step.section(QLatin1Char('='), 0, 0);
        const QByteArray value = step.section(QLatin1Char('='), 1).toLatin1();
        if (key == "silent")
            terminal.setSilent(true);
        else if (key == "wake")
            terminal.setWakeReply(quint8(value.toInt(nullptr, 16)));
        else if (key == "status")
            terminal.setStatusReplyOverride(value);
        else if (key == "transfer")
            terminal.setTransferOverride(value);
        else if (key == "terminator")
            terminal.setRecordTerminatorOverride(QByteArray("\r"));
        else if (key == "slow")
            terminal.setReplyCharDelayMs(value.toInt());
        else if (key == "gone")
            terminal.hangUp();
        else
            qFatal("unknown fault %s", qPrintable(key));
    }
}

std::unique_ptr<QThread> hangUpAfter(sim::TerminalSim &terminal, const QByteArray &pattern,
                                     int count, int delayMs)
{
    std::unique_ptr<QThread> t(QThread::create([&terminal, pattern, count, delayMs] {
        QElapsedTimer clock;
        clock.start();
        while (terminal.receivedBytes().count(pattern) < count && clock.elapsed() < 20000)
            QThread::msleep(2);
        QThread::msleep(delayMs);
        terminal.hangUp();
    }));
    t->start();
    return t;
}

QList<double> gapsMs(const QList<sim::LoggedByte> &bytes)
{
    QList<double> gaps;
    for (qsizetype i = 1; i < bytes.size(); ++i)
        gaps << (bytes[i].atUs - bytes[i - 1].atUs) / 1000.0;
    return gaps;
}

QByteArray bytesOf(const QList<sim::LoggedByte> &bytes)
{
    QByteArray out;
    for (const auto &b : bytes)
        out.append(static_cast<char>(b.byte));
    return out;
}

QString checkGaps(const QList<sim::LoggedByte> &bytes, const QList<double> &expected, double lateMs)
{
    const QList<double> gaps = gapsMs(bytes);
    if (gaps.size() < expected.size())
        return QStringLiteral("only %1 gaps").arg(gaps.size());
    QStringList off;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        if (gaps[i] < expected[i] - kReadJitterMs || gaps[i] > expected[i] + lateMs)
            off << QStringLiteral("gap %1: %2 ms, expected %3")
                       .arg(i)
                       .arg(gaps[i])
                       .arg(expected[i]);
    }
    return off.join(QStringLiteral("; "));
}

qint64 processCpuTimeUs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000LL + u.ru_utime.tv_usec +
           u.ru_stime.tv_usec;
}
