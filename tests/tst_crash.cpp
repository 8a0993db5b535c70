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
    // It never loses a record the terminal was told to forget, and leaves no torn remains as
    // a line. CORVANE_CRASH_KILLS sets how many kills (20 by default).
    void shouldKeepEveryClearedRecordThroughKills()
    {
        int kills = qEnvironmentVariableIntValue("CORVANE_CRASH_KILLS");
        if (kills <= 0)
            kills = 20;
        const WorkDir w;
        sim::TerminalSim terminal;
        terminal.linkAs(w.dir.path(), 1);
        int next = 0;
        QList<QByteArray> held, cleared; // what the terminal holds; what it was told to forget
        const auto refill = [&] {
            if (!terminal.records().isEmpty())
                return;
            cleared += held;
            held.clear();
            for (int i = 0; i < 40; ++i)
                held << "R" + QByteArray::number(next++).rightJustified(6, '0');
            terminal.setRecords(held);
        };
        refill();

        QRandomGenerator random(20261206);
        for (int k = 0; k <= kills; ++k) {
            ChildProcess child;
            child.start(QStringLiteral(CORVANE_POLL), {"--port=1", "--dir=" + w.dir.path()});
            QVERIFY(child.waitForStarted());
            // The last run goes on until the terminal has been cleared once more.
            const bool last = k == kills;
            const int clears = terminal.clearCount();
            QElapsedTimer clock;
            clock.start();
            const qint64 killAtMs = last ? 20000 : random.bounded(100, 7000);
            while (clock.elapsed() < killAtMs && !(last && terminal.clearCount() > clears)) {
                refill();
                QThread::msleep(5);
            }
            child.kill(); // SIGKILL: no destructor, no flush
            QVERIFY(child.waitForFinished());
            refill();
        }
        QVERIFY(!cleared.isEmpty());

        // Each line a whole record: torn remains past the committed length are cut back.
        const QRegularExpression whole(QStringLiteral("^R\\d{6}$"));
        QSet<QByteArray> stored;
        for (const QString &name : w.dir.entryList({QStringLiteral("*.pol")})) {
            QStringList records = QString::fromLatin1(w.read(name)).split(QStringLiteral("\r\n"));
            QVERIFY2(records.takeLast().isEmpty(), qPrintable(name)); // the last line ended too
            for (const QString &record : std::as_const(records)) {
                QVERIFY2(whole.match(record).hasMatch(), qPrintable(record));
                stored.insert(record.toLatin1());
            }
        }
        for (const QByteArray &r : std::as_const(cleared))
            QVERIFY2(stored.contains(r), r.constData());
    }
};

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
