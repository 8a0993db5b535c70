// corvane-poll, the headless poller, run as the service runs it: a child process on a
// simulated terminal, stopped by signal.
#include "TerminalSim.h"
#include "TestFiles.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTest>

#include <csignal>

namespace {

QList<QByteArray> numberedRecords(int count, const char *prefix)
{
    QList<QByteArray> records;
    for (int i = 0; i < count; ++i)
        records << prefix + QByteArray::number(i).rightJustified(5, '0') + ";0001";
    return records;
}

// One poller on its own folder, with its terminal linked there as com1.
struct Service : WorkDir {
    sim::TerminalSim terminal;
    QProcess poller;

    // Linked: the terminal's link is there from the start, and the poller is given its port
    // number; otherwise it is given the link's path as its device, before the link exists.
    void start(bool linked = true)
    {
        if (linked)
            terminal.linkAs(dir.path(), 1);
        const QString port = linked ? QStringLiteral("--port=1")
                                    : QStringLiteral("--device=") + dir.filePath("com1");
        poller.start(QStringLiteral(CORVANE_POLL), {port, QStringLiteral("--dir=") + dir.path()});
        QVERIFY(poller.waitForStarted());
    }
    // Stops it as systemd does and returns its log; it must end in time and with status 0.
    QString stop()
    {
        ::kill(pid_t(poller.processId()), SIGTERM);
        const bool ended = poller.waitForFinished(3000);
        const QString log = QString::fromLocal8Bit(poller.readAllStandardOutput());
        return ended && poller.exitCode() == 0 ? log : QStringLiteral("did not stop: ") + log;
    }
    bool cleared(int timeoutMs = 15000)
    {
        return QTest::qWaitFor([&] { return terminal.clearCount() > 0; }, timeoutMs);
    }
    QByteArray stored() const { return pollFiles(); }
};

// The poll file's bytes for these records.
QByteArray lines(const QList<QByteArray> &records)
{
    QByteArray bytes;
    for (const QByteArray &r : records)
        bytes += r + "\r\n";
    return bytes;
}

} // namespace

class TestPollService : public QObject {
    Q_OBJECT

private slots:
    void shouldLinkNoGuiLibrary()
    {
        QProcess ldd;
        ldd.start(QStringLiteral("ldd"), {QStringLiteral(CORVANE_POLL)});
        QVERIFY(ldd.waitForFinished());
        const QByteArray libraries = ldd.readAllStandardOutput();
        QVERIFY(libraries.contains("libQt6SerialPort"));
        QVERIFY2(!libraries.contains("libQt6Gui") && !libraries.contains("libQt6Widgets"),
                 libraries.constData());
    }

    // The terminal forgets only what is synced; a write error leaves it all there.
    void shouldStoreThenClear_data()
    {
        QTest::addColumn<bool>("diskFull");
        QTest::newRow("stored") << false;
        QTest::newRow("write error") << true;
    }

    void shouldStoreThenClear()
    {
        QFETCH(bool, diskFull);
        Service s;
        // More than the file-size limit below lets through, which the port's lock file needs.
        const QList<QByteArray> records = numberedRecords(60, "8001");
        s.terminal.setRecords(records);
        QByteArray onDiskAtClear;
        s.terminal.setOnClear([&] { onDiskAtClear = s.stored(); });
        if (diskFull)
            s.poller.setChildProcessModifier([] { limitFileSize(512); });
        s.start();
        QCOMPARE(s.cleared(diskFull ? 4000 : 15000), !diskFull);
        const QString log = s.stop();
        QVERIFY2(log.startsWith("<6>corvane-poll") && log.contains("<6>terminal on line\n"),
                 qPrintable(log));
        if (diskFull) {
            QVERIFY2(log.contains("<3>write error on "), qPrintable(log));
            QCOMPARE(s.terminal.records(), records);
        } else {
            QCOMPARE(onDiskAtClear, lines(records));
            QVERIFY2(log.contains(QRegularExpression("<6>60 records stored in "
                                                     "\\d\\d-\\d\\d-\\d\\d\\.pol\n<6>terminal "
                                                     "memory cleared\n")),
                     qPrintable(log));
        }
    }

    // Stopped in the middle of a transfer: no clear, only whole records kept, and the next
    // run fetches them all.
    void shouldStopMidTransferWithoutLosingRecords()
    {
        Service s;
        const QList<QByteArray> records = numberedRecords(400, "8002");
        s.terminal.setRecords(records);
        s.terminal.setReplyCharDelayMs(1);
        s.start();
        QVERIFY(
            QTest::qWaitFor([&] { return s.terminal.receivedBytes().contains("!7^\r"); }, 10000));
        QTest::qWait(1500);
        QVERIFY(!s.stop().startsWith("did not stop"));
        QCOMPARE(s.terminal.clearCount(), 0);
        const QByteArray partial = s.stored();
        const qsizetype kept = partial.count("\r\n");
        QVERIFY(kept > 0 && kept < records.size());
        QCOMPARE(partial, lines(records.first(kept)));

        s.terminal.setReplyCharDelayMs(0);
        s.start();
        QVERIFY(s.cleared());
        s.stop();
        QCOMPARE(s.stored(), partial + lines(records));
    }

    void shouldPollTwoTerminalsEachIntoItsFolder()
    {
        Service a, b;
        a.terminal.setRecords(numberedRecords(2, "8003"));
        b.terminal.setRecords(numberedRecords(2, "8004"));
        a.start();
        b.start();
        QVERIFY(a.cleared() && b.cleared());
        a.stop();
        b.stop();
        QCOMPARE(a.stored(), lines(numberedRecords(2, "8003")));
        QCOMPARE(b.stored(), lines(numberedRecords(2, "8004")));
    }

    // How the terminal answers is logged as a warning, once for as long as it lasts.
    void shouldLogHowTheTerminalAnswers_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("logged");
        QTest::newRow("not at all") << true << "<4>terminal does not answer\n";
        QTest::newRow("not with ACK")
            << false
            << "<4>communication error: the terminal answers with something other than ACK\n";
    }

    void shouldLogHowTheTerminalAnswers()
    {
        QFETCH(bool, silent);
        Service s;
        if (silent)
            s.terminal.setSilent(true);
        else
            s.terminal.setWakeReply(quint8(0x58));
        s.start();
        QVERIFY(QTest::qWaitFor([&] { return s.terminal.receivedBytes().count(" 0") >= 2; }, 8000));
        QFETCH(QString, logged);
        QCOMPARE(s.stop().count(logged), 1);
    }

    // A port that comes later (a USB adapter plugged in) or that another program holds is
    // picked up once it is there, without a restart: one line when it is missing, one when
    // it is back.
    void shouldWaitForThePort_data()
    {
        QTest::addColumn<bool>("held");
        QTest::newRow("not there yet") << false;
        QTest::newRow("held by another program") << true;
    }

    void shouldWaitForThePort()
    {
        QFETCH(bool, held);
        Service s;
        s.terminal.setRecords(numberedRecords(1, "8005"));
        const QString device = s.dir.filePath("com1");
        QSerialPort other(device);
        if (held) {
            s.terminal.linkAs(s.dir.path(), 1);
            QVERIFY(other.open(QIODevice::ReadWrite));
        }
        s.start(false);
        QTest::qWait(1000);
        if (held)
            other.close();
        else
            s.terminal.linkAs(s.dir.path(), 1);
        const bool cleared = s.cleared();
        const QString log = s.stop();
        QVERIFY2(cleared, qPrintable(log));
        QCOMPARE(log.count("<4>port " + device + " unavailable"), 1);
        QCOMPARE(log.count("<6>port " + device + " back"), 1);
        QCOMPARE(log.contains("lock"), held); // the reason is the system's
    }
};

QTEST_GUILESS_MAIN(TestPollService)
#include "tst_pollservice.moc"
