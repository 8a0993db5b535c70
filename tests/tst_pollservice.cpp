// corvane-poll, the headless poller, run as the service runs it: a child process on a
// simulated terminal, stopped by signal.
#include "DataTable.h"
#include "NotifySocket.h"
#include "SimFixture.h"
#include "commit/PollerState.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <unistd.h>

namespace {

// One poller on its own folder, with its terminal linked there as com1.
struct Service : WorkDir {
    sim::TerminalSim terminal;
    ChildProcess poller;

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
        const bool ended = stopped(poller);
        const QString log = QString::fromLocal8Bit(poller.readAllStandardOutput());
        return ended && poller.exitCode() == 0 ? log : "did not stop: " + log;
    }
    // Whether it has ended within 3 s of being told to; the event loop runs meanwhile, so that
    // what the poller tells systemd is read as it comes.
    static bool stopped(QProcess &process)
    {
        return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 3000);
    }
    QStringList pollNames() const { return dir.entryList({QStringLiteral("*.pol")}, QDir::Files); }
    std::optional<PollerState> state() const
    {
        return PollerState::read(dir.filePath(".com1.state"));
    }
    bool cleared()
    {
        return QTest::qWaitFor([&] { return terminal.clearCount() > 0; }, 15000);
    }
};

// A row of shouldLogWhatItDoes: the poller under systemd, on a terminal holding records (more
// may come), in a situation its setup makes; holder: the pid of a poller that held the port.
struct Situation : Service {
    NotifySocket systemd{dir.filePath("notify")};
    QList<QByteArray> records = numberedRecords(60, "8001");
    qint64 holder = 0;

    Situation()
    {
        poller.setProcessEnvironment(systemd.environment(QProcessEnvironment::systemEnvironment()));
        terminal.setRecords(records);
    }
};
using Setup = std::function<void(Situation &)>;

// The poller started on a line with that fault (putFault's steps).
Setup onLine(const char *fault)
{
    return [fault](Situation &s) {
        putFault(s.terminal, fault);
        s.start();
    };
}

// Its files may grow no further than its lock file needs, as on a full disk.
void diskFull(Situation &s)
{
    s.poller.setChildProcessModifier([] { ChildProcess::endWithParent(), limitFileSize(512); });
    s.start();
}

// The port is not there when the poller starts, which waits past its first retry (which must
// not log again) before the terminal is linked.
void late(Situation &s)
{
    s.start(false);
    QTest::qWait(3500);
    QCOMPARE(s.state().value_or(PollerState{}).state, "port lost");
    s.terminal.linkAs(s.dir.path(), 1);
}

// Another poller holds the port until then, reaching the same device as com2, or as com1 by
// its port number, and polls an empty terminal meanwhile.
template <bool sameName> void heldThenFreed(Situation &s)
{
    ChildProcess other;
    s.terminal.setRecords({});
    s.terminal.linkAs(s.dir.path(), 1);
    if (sameName) {
        other.start(CORVANE_POLL, {"--port=1", "--dir=" + s.dir.path()});
        QVERIFY(QTest::qWaitFor([&] { return s.state().has_value(); }, 10000));
    } else {
        QVERIFY(holdThroughAnotherLink(other, CORVANE_POLL, s.terminal, s.dir));
    }
    s.holder = other.processId();
    s.start(false);
    QTest::qWait(3500);
    QCOMPARE(s.state().value_or(PollerState{}).state, sameName ? "polling" : "port lost");
    ::kill(pid_t(s.holder), SIGTERM);
    QVERIFY(Service::stopped(other));
    s.terminal.setRecords(s.records);
}

// Once cleared, the device node goes (an adapter pulled: its link dangles) and comes back
// with new records.
void lostAndBack(Situation &s)
{
    s.start();
    QVERIFY(s.cleared());
    QVERIFY(QFile::remove(s.dir.filePath("com1")));
    QVERIFY(QFile::link(s.dir.filePath("unplugged"), s.dir.filePath("com1")));
    QVERIFY(QTest::qWaitFor([&] { return s.state().value_or(PollerState{}).state == "port lost"; },
                            5000));
    const QList<QByteArray> more = numberedRecords(3, "8011");
    s.terminal.setRecords(more);
    s.records += more;
    s.terminal.linkAs(s.dir.path(), 1);
    QVERIFY(QTest::qWaitFor([&] { return s.terminal.clearCount() == 2; }, 15000));
}

} // namespace

class TestPollService : public QObject {
    Q_OBJECT

private slots:
    // One line per event, each said once, faults as warnings for as long as they last, and
    // systemd told each new state, ready and stopping, its watchdog fed all along. The
    // terminal forgets only what is on disk; a fault leaves it all there. A port that comes
    // later (an adapter plugged in), that another program holds through another name of the
    // device, or that goes in the middle of polling is used again once it is there. The state
    // file says the state and the last transfer's new records, held while the poller runs; a
    // poller kept off its port by another of its terminal's name (the window's polling, say)
    // leaves the file to the one that polls.
    void shouldLogWhatItDoes_data()
    {
        // logged as patterns; statuses: what systemd was told, as a pattern of them joined by |.
        const auto row = table<Setup, QStringList, QString, QString, int>(
            {"setup", "logged", "state", "statuses", "clears"});
        const QString port = "port \\S+/com1 ", at = ", last at \\d\\d:\\d\\d";
        const QString stored =
            "port open; 0 records today\\|on line; 0 records today\\|on line; 60 records today" +
            at;
        // A transfer of about three seconds, which must not starve the watchdog.
        row("stored", onLine("slow=2"),
            {"^<6>corvane-poll", "<6>terminal on line\n",
             "<6>60 records stored in \\d\\d-\\d\\d-\\d\\d\\.pol\n<6>terminal memory cleared\n"},
            "polling 60", stored, 1);
        row("write error", diskFull, {"<3>write error on "}, "polling 0",
            "port open; 0 records today\\|on line; 0 records today", 0);
        row("silent terminal", onLine("silent"), {"<4>terminal does not answer\n"},
            "terminal silent 0", "port open; 0 records today\\|silent; 0 records today", 0);
        row("wrong wake-up answer", onLine("wake=58"),
            {"<4>communication error: the terminal answers with something other than ACK\n"},
            "communication error 0",
            "port open; 0 records today\\|communication error; 0 records today", 0);
        const QString back = "port unavailable; 0 records today\\|" + stored;
        row("port not there yet", late, {"<4>" + port + "unavailable", "<6>" + port + "back"},
            "polling 60", back, 1);
        // The reason is the system's; the holder is named, with the way to free the port.
        const QStringList heldLog = {
            "<4>" + port + "unavailable .*lock.*; held by corvane-poll \\(pid HOLDER[,)]",
            "<6>" + port + "back"};
        row("port held through another link", heldThenFreed<false>, heldLog, "polling 60", back, 1);
        row("port held under the same name", heldThenFreed<true>, heldLog, "polling 60", back, 1);
        row("port lost while polling", lostAndBack,
            {"<4>port COM 1 lost; retrying every 3 s\n", "<6>port COM 1 back"}, "polling 3",
            stored + "\\|port unavailable; 60 records today" + at + "\\|on line; 60 records today" +
                at + "\\|on line; 63 records today" + at,
            2);
    }

    void shouldLogWhatItDoes()
    {
        QFETCH(Setup, setup);
        QFETCH(int, clears);
        Situation s;
        QByteArray onDiskAtClear;
        s.terminal.setOnClear([&] { onDiskAtClear = s.pollFiles(); });
        setup(s);
        if (QTest::currentTestFailed())
            return;
        // A fault: until the second turn has met it.
        QVERIFY(clears > 0
                    ? s.cleared()
                    : QTest::qWaitFor([&] { return s.terminal.receivedBytes().count(" 0") >= 3; },
                                      10000));
        QFETCH(QString, state);
        const auto running = s.state();
        QVERIFY(running && running->running);
        QCOMPARE(running->state + ' ' + QString::number(running->lastRecords), state);
        QCOMPARE(running->lastTransfer.isValid(), clears > 0);
        const QString log = s.stop();
        const auto stopped = s.state();
        QVERIFY(stopped && !stopped->running && stopped->state == "stopped");
        QCOMPARE(stopped->lastRecords, running->lastRecords);
        QFETCH(QStringList, logged);
        for (QString pattern : logged) {
            pattern.replace("HOLDER", QString::number(s.holder));
            QVERIFY2(log.count(QRegularExpression(pattern)) == 1,
                     qPrintable(pattern + " in " + log));
        }
        QFETCH(QString, statuses);
        QCOMPARE(s.systemd.misses(statuses), QString());
        QCOMPARE(s.terminal.clearCount(), clears);
        QCOMPARE(clears > 0 ? onDiskAtClear : lines(s.terminal.records()), lines(s.records));
    }

    // A bad argument is a configuration error: one line saying why, status 2, nothing
    // polled, so a service manager gives up instead of restarting it for ever.
    void shouldRefuseBadArguments_data()
    {
        const auto row = table<QStringList, QString>({"arguments", "says"});
        row("port 17", {"--port=17"}, "--port must be 1 to 16, not 17");
        row("port 0", {"--port=0"}, "--port must be 1 to 16, not 0");
        row("port and device", {"--port=1", "--device=/dev/ttyS0"}, "give either");
        row("neither", {}, "give either --port N or --device PATH");
        row("no such folder", {"--port=1", "--dir=/nonexistent"}, "is not a folder");
        row("unknown option", {"--port=1", "--speed=9600"}, "Unknown option 'speed'");
        row("stray argument", {"--port=1", "com1"}, "unexpected argument: com1");
    }

    void shouldRefuseBadArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, says);
        WorkDir w;
        if (!arguments.join(' ').contains("--dir"))
            arguments << "--dir=" + w.dir.path();
        ChildProcess poller;
        poller.start(QStringLiteral(CORVANE_POLL), arguments);
        QVERIFY(poller.waitForFinished(5000));
        QCOMPARE(poller.exitStatus(), QProcess::NormalExit);
        QCOMPARE(poller.exitCode(), 2);
        const QString err = QString::fromLocal8Bit(poller.readAllStandardError());
        QVERIFY2(err.startsWith("corvane-poll: ") && err.count('\n') == 1 && err.contains(says),
                 qPrintable(err));
        QCOMPARE(poller.readAllStandardOutput(), QByteArray());
    }

    // A transfer that does not finish is not stored: stopped, it is kept aside; under a file
    // deleted, or moved away with another file put under its name, it fails as a failed write
    // would. Either way the terminal keeps its records and the next transfer stores each of
    // them once, in a file of the day's name, and removes what was kept aside. A transfer
    // stored but not cleared (the terminal silent before the clear, and the poller killed
    // then) comes again, and is not stored twice. The state file counts what is kept aside
    // until then, and tells a poller killed from one stopped.
    void shouldStoreEachRecordOnceWhateverBreaksATransfer_data()
    {
        // logged: what the poller's log says of it; last: the records the last run stored.
        const auto row = table<QString, QString, int>({"interruption", "logged", "last"});
        row("stopped", "stop", "<6>150 records stored in ", 150);
        row("file deleted", "rm", "write error", 150);
        row("file moved, another put in its place", "mv", "write error", 150);
        row("killed before the clear", "kill", "150 more came again, stored already", 0);
    }

    void shouldStoreEachRecordOnceWhateverBreaksATransfer()
    {
        QFETCH(QString, interruption);
        QFETCH(int, last);
        Service s;
        const QList<QByteArray> records = numberedRecords(150, "8002");
        s.terminal.setRecords(records);
        s.terminal.setReplyCharDelayMs(1);
        s.start();
        QVERIFY(QTest::qWaitFor(
            [&] {
                return s.terminal.receivedBytes().contains("!7^\r") && !s.pollNames().isEmpty();
            },
            10000));
        QTest::qWait(800);
        const QString file = s.pollNames().value(0);
        if (interruption == "stop") {
            QVERIFY(s.stop().contains(
                QStringLiteral("records kept in %1/.com1.unfinished").arg(s.dir.path())));
            QCOMPARE(s.terminal.clearCount(), 0);
            QCOMPARE(s.pollFiles(), QByteArray());
            const qsizetype kept = s.setAside().count("\r\n");
            QVERIFY(kept > 0 && kept < records.size());
            QCOMPARE(s.setAside(), lines(records.first(kept)));
            const auto stopped = s.state();
            QVERIFY(stopped && stopped->state == "stopped" && !stopped->running);
            QCOMPARE(stopped->setAside, kept);
            s.start();
            // Still kept aside, for the new run too, until the next transfer is stored.
            std::optional<PollerState> restarted;
            QVERIFY(QTest::qWaitFor([&] { return (restarted = s.state()) && restarted->running; },
                                    5000));
            QCOMPARE(restarted->setAside, kept);
        } else if (interruption == "rm") {
            QVERIFY(s.dir.remove(file));
        } else if (interruption == "mv") {
            QVERIFY(s.dir.rename(file, "moved") && s.write(file, ""));
        } else {
            QVERIFY(QTest::qWaitFor([&] { return s.pollFiles() == lines(records); }, 10000));
            s.terminal.setSilent(true);
            const int wakes = s.terminal.receivedBytes().count(" 0");
            QVERIFY(QTest::qWaitFor([&] { return s.terminal.receivedBytes().count(" 0") > wakes; },
                                    5000));
            ::kill(pid_t(s.poller.processId()), SIGKILL);
            QVERIFY(s.poller.waitForFinished(3000));
            const auto killed = s.state();
            QVERIFY(killed && !killed->running && killed->state != "stopped");
            QCOMPARE(killed->lastRecords, 150);
            s.terminal.setSilent(false);
            s.start();
        }
        s.terminal.setReplyCharDelayMs(0);
        QVERIFY(s.cleared());
        const QString log = s.stop();
        QCOMPARE(s.terminal.clearCount(), 1);
        QCOMPARE(s.pollFiles(), lines(records));
        QCOMPARE(s.setAside(), QByteArray());
        const QString time = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ";
        const QRegularExpression stopped(
            QStringLiteral("^program=corvane-poll\nstate=stopped\nsince=%1\nlast_transfer=%1\n"
                           "last_records=%2\nset_aside=0\n$")
                .arg(time, QString::number(last)));
        QVERIFY2(stopped.match(s.read(".com1.state")).hasMatch(),
                 s.read(".com1.state").constData());
        QVERIFY(!s.state()->running);
        QFETCH(QString, logged);
        QVERIFY2(log.contains(logged), qPrintable(log));
    }

    // Two cradles on one host, each with its own poller, folder and "com1": neither keeps
    // the other from polling.
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
