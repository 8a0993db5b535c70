#include "SimFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

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

std::unique_ptr<QThread> putFault(sim::TerminalSim &terminal, const QString &steps)
{
    std::unique_ptr<QThread> cable;
    for (const QString &step : steps.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString key = step.section(QLatin1Char('='), 0, 0);
        const QByteArray value = step.section(QLatin1Char('='), 1).toLatin1();
        if (key == "silent")
            terminal.setSilent(true);
        else if (key == "wake")
            terminal.setWakeReply(QByteArray(1, char(value.toInt(nullptr, 16))));
        else if (key == "status")
            terminal.setStatusReplyOverride(value);
        else if (key == "noise")
            terminal.setStatusReplyOverride(randomBytes(500, false) + '\r');
        else if (key == "transfer")
            terminal.setTransferOverride(value);
        else if (key == "terminator")
            terminal.setRecordTerminatorOverride(QByteArray("\r"));
        else if (key == "slow")
            terminal.setReplyCharDelayMs(value.toInt());
        else if (key == "gone")
            terminal.hangUp();
        else if (key == "cut")
            cable.reset(QThread::create([&terminal, pattern = value.left(value.indexOf('*')),
                                         count = value.mid(value.indexOf('*') + 1).toInt()] {
                QElapsedTimer clock;
                clock.start();
                while (terminal.receivedBytes().count(pattern) < count && clock.elapsed() < 20000)
                    QThread::msleep(2);
                QThread::msleep(120);
                terminal.hangUp();
            }));
        else
            qFatal("unknown fault %s", qPrintable(key));
    }
    if (cable)
        cable->start();
    return cable;
}

QByteArray randomBytes(int n, bool withCr)
{
    QByteArray bytes;
    QRandomGenerator random(n);
    while (bytes.size() < n) {
        const char c = char(random.bounded(256));
        if (withCr || c != '\r')
            bytes += c;
    }
    return bytes;
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
            off << QString::asprintf("gap %lld: %g ms, expected %g", qlonglong(i), gaps[i],
                                     expected[i]);
    }
    return off.join(QStringLiteral("; "));
}

QList<QByteArray> numberedRecords(int count, const char *prefix)
{
    QList<QByteArray> records;
    for (int i = 0; i < count; ++i)
        records << prefix + QByteArray::number(i).rightJustified(5, '0') + ";0001";
    return records;
}

QByteArray lines(const QList<QByteArray> &records)
{
    return records.isEmpty() ? QByteArray() : records.join("\r\n") + "\r\n";
}

bool holdThroughAnotherLink(QProcess &poller, const QString &pollerPath, sim::TerminalSim &terminal,
                            const QDir &dir)
{
    if (!QFile::link(terminal.devicePath(), dir.filePath("com2")))
        return false;
    poller.start(pollerPath, {"--device=" + dir.filePath("com2"), "--dir=" + dir.path()});
    return QTest::qWaitFor([&] { return terminal.receivedBytes().contains("!?^\r"); }, 10000);
}
