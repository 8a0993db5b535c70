// The poller killed at random moments and started again in the same folder.
#include "TerminalSim.h"
#include "TestFiles.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QThread>

class TestCrash : public QObject {
    Q_OBJECT

private slots:
    // It never loses a record the terminal was told to forget, and never glues one to torn
    // remains. CORVANE_CRASH_KILLS sets how many kills (20 by default).
    void shouldKeepEveryClearedRecordThroughKills()
    {
        const int kills = qEnvironmentVariableIntValue("CORVANE_CRASH_KILLS") > 0
                              ? qEnvironmentVariableIntValue("CORVANE_CRASH_KILLS")
                              : 20;
        const WorkDir w;
        sim::TerminalSim terminal;
        terminal.linkAs(w.dir.path(), 1);

        int next = 0;
        QList<QByteArray> held; // what the terminal holds now, as far as this test knows
        QSet<QByteArray> cleared;
        const auto refill = [&] {
            if (!terminal.records().isEmpty())
                return;
            for (const QByteArray &r : std::as_const(held))
                cleared.insert(r);
            held.clear();
            for (int i = 0; i < 40; ++i)
                held << "R" + QByteArray::number(next++).rightJustified(6, '0');
            terminal.setRecords(held);
        };
        refill();

        QRandomGenerator random(20261206);
        for (int k = 0; k <= kills; ++k) {
            QProcess child;
            child.start(QStringLiteral(CORVANE_POLL), {"--port=1", "--dir=" + w.dir.path()});
            QVERIFY(child.waitForStarted());
            QElapsedTimer clock;
            clock.start();
            // The last run goes on until the terminal has been cleared once more.
            const bool last = k == kills;
            const int cleared0 = terminal.clearCount();
            const qint64 killAtMs = last ? 20000 : random.bounded(100, 7000);
            while (clock.elapsed() < killAtMs && !(last && terminal.clearCount() > cleared0)) {
                refill();
                QThread::msleep(5);
            }
            child.kill(); // SIGKILL: no destructor, no flush
            QVERIFY(child.waitForFinished());
            refill();
        }
        QVERIFY(!cleared.isEmpty());

        QSet<QByteArray> stored;
        const QRegularExpression whole(QStringLiteral("^R\\d{6}$"));
        const QRegularExpression torn(QStringLiteral("^(R\\d{0,5})?$"));
        for (const QString &name : w.dir.entryList({QStringLiteral("*.pol")})) {
            for (QByteArray line : w.read(name).split('\n')) {
                if (line.endsWith('\r'))
                    line.chop(1);
                if (whole.match(QString::fromLatin1(line)).hasMatch())
                    stored.insert(line);
                else
                    QVERIFY2(torn.match(QString::fromLatin1(line)).hasMatch(), line.constData());
            }
        }
        for (const QByteArray &r : std::as_const(cleared))
            QVERIFY2(stored.contains(r), r.constData());
    }
};

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
