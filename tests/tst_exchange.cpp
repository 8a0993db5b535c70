#include "SimFixture.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

namespace {

constexpr double kTolMs = 40.0; // shared machines: allow some scheduling noise

} // namespace

class TestExchange : public QObject {
    Q_OBJECT

private slots:
    void shouldReadReplyLine_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("charDelayMs");
        QTest::addColumn<int>("expected"); // Exchange::Wait
        QTest::addColumn<QByteArray>("line");
        using W = Exchange::Wait;
        QTest::newRow("plain") << QByteArray("ABC\r") << 0 << int(W::Arrived) << QByteArray("ABC");
        QTest::newRow("empty line") << QByteArray("\r") << 0 << int(W::Arrived) << QByteArray();
        QTest::newRow("LF kept, rest left")
            << QByteArray("A\nB\rC\r") << 0 << int(W::Arrived) << QByteArray("A\nB");
        QTest::newRow("all bytes") << QByteArray("\x00\x80\xff\r", 4) << 0 << int(W::Arrived)
                                   << QByteArray("\x00\x80\xff", 3);
        QTest::newRow("slow but steady")
            << QByteArray("12345\r") << 400 << int(W::Arrived) << QByteArray("12345");
        QTest::newRow("endless line")
            << QByteArray(Exchange::kMaxLineLength + 10, 'A') << 0 << int(W::TimedOut)
            << QByteArray(Exchange::kMaxLineLength, 'A');
    }

    void shouldReadReplyLine()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, charDelayMs);
        QFETCH(int, expected);
        QFETCH(QByteArray, line);
        SimFixture f;
        QVERIFY(f.openLink());
        f.terminal.setStatusReplyOverride(reply);
        f.terminal.setReplyCharDelayMs(charDelayMs);
        Exchange ex = f.exchange();
        QVERIFY(ex.wakeTerminal());
        ex.flushInput();
        ex.sendCommand('?', 200);
        QByteArray got;
        QCOMPARE(int(ex.readReplyLine(got)), expected);
        QCOMPARE(got, line);
    }

    void shouldTimeOutOneSecondAfterLastCharacter()
    {
        SimFixture f;
        QVERIFY(f.openLink());
        f.terminal.setStatusReplyOverride(QByteArray("PART"));
        f.terminal.setReplyCharDelayMs(300);
        Exchange ex = f.exchange();
        QVERIFY(ex.wakeTerminal());
        ex.flushInput();
        ex.sendCommand('?', 200);
        QByteArray got;
        QCOMPARE(ex.readReplyLine(got), Exchange::Wait::TimedOut);
        const qint64 endUs = sim::TerminalSim::nowUs();
        QCOMPARE(got, QByteArray("PART"));
        const double afterLastMs = (endUs - f.terminal.sent().last().atUs) / 1000.0;
        QVERIFY2(afterLastMs >= 1000 && afterLastMs <= 1000 + 2 * kTolMs,
                 qPrintable(QString::number(afterLastMs)));
    }

    void shouldDiscardLeftoversBeforeTheCommand()
    {
        SimFixture f;
        QVERIFY(f.openLink());
        Exchange ex = f.exchange();
        f.terminal.inject("stale\r");
        QVERIFY(f.terminal.waitForIdle(1000));
        QThread::msleep(20);
        QVERIFY(ex.wakeTerminal()); // the stale bytes must not be taken for the answer
        f.terminal.inject("late\r");
        QVERIFY(f.terminal.waitForIdle(1000));
        QThread::msleep(20);
        ex.flushInput();
        ex.sendCommand('?', 200);
        QByteArray line;
        QCOMPARE(ex.readReplyLine(line), Exchange::Wait::Arrived);
        QCOMPARE(line, f.terminal.statusLine());
    }

    void shouldIdleWithoutBurningCpu_data()
    {
        QTest::addColumn<bool>("events");
        QTest::newRow("sleeping pause") << false;
        QTest::newRow("event-loop pause") << true;
    }

    void shouldIdleWithoutBurningCpu()
    {
        QFETCH(bool, events);
        SimFixture f;
        QVERIFY(f.openLink());
        f.terminal.setSilent(true);
        ExchangeStyle style;
        style.pausesProcessEvents = events;
        Exchange ex = f.exchange(style);
        QElapsedTimer wall;
        wall.start();
        const qint64 cpuBefore = processCpuTimeUs();
        ex.pauseMs(1000);
        QCOMPARE(ex.waitForCharacter(), Exchange::Wait::TimedOut);
        const qint64 cpuUs = processCpuTimeUs() - cpuBefore;
        const qint64 wallMs = wall.elapsed();
        QVERIFY(wallMs >= 2000);
        QVERIFY2(cpuUs < wallMs * 1000 / 10,
                 qPrintable(QStringLiteral("cpu %1 us over %2 ms").arg(cpuUs).arg(wallMs)));
    }
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
