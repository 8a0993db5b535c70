// corvane-poll, the headless poller, run as the service runs it: a child process on a
// simulated terminal, stopped by signal.
#include "DataTable.h"
#include "SimFixture.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>

#include <csignal>

namespace {

QList<QByteArray> numberedRecords(int count, const char *prefix)
{
    QList<QByteArray> records;
    for (int i = 0; i < count; ++i)
        records << prefix + QByteArray::number(i).rightJustified(5, '0') + ";0001";
    return records;
}

// The poll file's bytes for these records.
QByteArray lines(const QList<QByteArray> &records)
{
    return records.isEmpty() ? QByteArray() : records.join("\r\n") + "\r\n";
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
        const QString port =
            linked ? QStringLiteral("--port=1") : "--device=" + dir.filePath("com1");
        poller.start(QStringLiteral(CORVANE_POLL), {port, "--dir=" + dir.path()});
        QVERIFY(poller.waitForStarted());
    }
    // Stops it as systemd does and returns its log; it must end in time and with status 0.
    QString stop()
    {
        ::kill(pid_t(poller.processId()), SIGTERM);
        const bool ended = poller.waitForFinished(3000);
        const QString log = QString::fromLocal8Bit(poller.readAllStandardOutput());
        return ended && poller.exitCode() == 0 ? log : "did not stop: " + log;
    }
    bool cleared()
    {
        return QTest::qWaitFor([&] { return terminal.clearCount() > 0; }, 15000);
    }
};

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

    // One line per event, each said once, faults as warnings for as long as they last. The
    // terminal forgets only what is on disk; a fault leaves it all there. A port that comes
    // later (an adapter plugged in) or that another program holds is used once it is there.
    void shouldLogWhatItDoes_data()
    {
        const auto row = table<QString, QStringList>({"situation", "logged"}); // as patterns
        const QString port = "port \\S+/com1 ";
        row("stored", "stored",
            {"^<6>corvane-poll", "<6>terminal on line\n",
             "<6>60 records stored in \\d\\d-\\d\\d-\\d\\d\\.pol\n<6>terminal memory cleared\n"});
        row("write error", "disk full", {"<3>write error on "});
        row("silent terminal", "silent", {"<4>terminal does not answer\n"});
        row("wrong wake-up answer", "wake=58",
            {"<4>communication error: the terminal answers with something other than ACK\n"});
        row("port not there yet", "late", {"<4>" + port + "unavailable", "<6>" + port + "back"});
        // The reason is the system's.
        row("port held by another program", "held",
            {"<4>" + port + "unavailable.*lock", "<6>" + port + "back"});
    }

    void shouldLogWhatItDoes()
    {
        QFETCH(QString, situation);
        Service s;
        // More than the file-size limit below lets through, which the port's lock file needs.
        const QList<QByteArray> records = numberedRecords(60, "8001");
        s.terminal.setRecords(records);
        QByteArray onDiskAtClear;
        s.terminal.setOnClear([&] { onDiskAtClear = s.pollFiles(); });
        const bool faulty =
            situation == "disk full" || situation == "silent" || situation.startsWith("wake");
        if (situation == "disk full")
            s.poller.setChildProcessModifier([] { limitFileSize(512); });
        else if (faulty)
            putFault(s.terminal, situation);
        QSerialPort other(s.dir.filePath("com1"));
        if (situation == "held") {
            s.terminal.linkAs(s.dir.path(), 1);
            QVERIFY(other.open(QIODevice::ReadWrite));
        }
        const bool late = situation == "late" || situation == "held";
        s.start(!late);
        if (late) {
            QTest::qWait(3500); // past the first retry, which must not log again
            if (situation == "held")
                other.close();
            else
                s.terminal.linkAs(s.dir.path(), 1);
        }
        // Faulty: until the second turn has met the fault.
        QVERIFY(faulty ? QTest::qWaitFor(
                             [&] { return s.terminal.receivedBytes().count(" 0") >= 3; }, 10000)
                       : s.cleared());
        const QString log = s.stop();
        QFETCH(QStringList, logged);
        for (const QString &pattern : logged)
            QVERIFY2(log.count(QRegularExpression(pattern)) == 1,
                     qPrintable(pattern + " in " + log));
        QCOMPARE(s.terminal.clearCount(), faulty ? 0 : 1);
        if (faulty)
            QCOMPARE(s.terminal.records(), records);
        else
            QCOMPARE(onDiskAtClear, lines(records));
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
        const QByteArray partial = s.pollFiles();
        const qsizetype kept = partial.count("\r\n");
        QVERIFY(kept > 0 && kept < records.size());
        QCOMPARE(partial, lines(records.first(kept)));

        s.terminal.setReplyCharDelayMs(0);
        s.start();
        QVERIFY(s.cleared());
        s.stop();
        QCOMPARE(s.pollFiles(), partial + lines(records));
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
        QCOMPARE(a.pollFiles(), lines(numberedRecords(2, "8003")));
        QCOMPARE(b.pollFiles(), lines(numberedRecords(2, "8004")));
    }
};

QTEST_GUILESS_MAIN(TestPollService)
#include "tst_pollservice.moc"
