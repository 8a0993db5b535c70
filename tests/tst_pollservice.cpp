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
        const bool ended = poller.waitForFinished(3000);
        const QString log = QString::fromLocal8Bit(poller.readAllStandardOutput());
        return ended && poller.exitCode() == 0 ? log : "did not stop: " + log;
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

constexpr qint64 kWatchdogUs = 2000000;

} // namespace

class TestPollService : public QObject {
    Q_OBJECT

private slots:
    // One line per event, each said once, faults as warnings for as long as they last. The
    // terminal forgets only what is on disk; a fault leaves it all there. A port that comes
    // later (an adapter plugged in), that another program holds through another name of the
    // device, or that goes in the middle of polling is used again once it is there. The state
    // file says the state and the last transfer's new records, held while the poller runs; a
    // poller kept off its port by another of its terminal's name (the window's polling, say)
    // leaves the file to the one that polls.
    void shouldLogWhatItDoes_data()
    {
        const auto row = table<QString, QStringList, QString>(
            {"situation", "logged", "state"}); // logged as patterns
        const QString port = "port \\S+/com1 ";
        row("stored", "stored",
            {"^<6>corvane-poll", "<6>terminal on line\n",
             "<6>60 records stored in \\d\\d-\\d\\d-\\d\\d\\.pol\n<6>terminal memory cleared\n"},
            "polling 60");
        row("write error", "disk full", {"<3>write error on "}, "polling 0");
        row("silent terminal", "silent", {"<4>terminal does not answer\n"}, "terminal silent 0");
        row("wrong wake-up answer", "wake=58",
            {"<4>communication error: the terminal answers with something other than ACK\n"},
            "communication error 0");
        row("port not there yet", "late", {"<4>" + port + "unavailable", "<6>" + port + "back"},
            "polling 60");
        // The reason is the system's; the holder is named, with the way to free the port.
        row("port held through another link", "held",
            {"<4>" + port + "unavailable .*lock.*; held by corvane-poll \\(pid HOLDER[,)]",
             "<6>" + port + "back"},
            "polling 60");
        row("port held under the same name", "held as com1",
            {"<4>" + port + "unavailable .*lock.*; held by corvane-poll \\(pid HOLDER[,)]",
             "<6>" + port + "back"},
            "polling 60");
        row("port lost while polling", "lost",
            {"<4>port COM 1 lost; retrying every 3 s\n", "<6>port COM 1 back"}, "polling 3");
    }

    void shouldLogWhatItDoes()
    {
        QFETCH(QString, situation);
        Service s;
        // More than the file-size limit below lets through, which the port's lock file needs.
        QList<QByteArray> records = numberedRecords(60, "8001");
        s.terminal.setRecords(records);
        QByteArray onDiskAtClear;
        s.terminal.setOnClear([&] { onDiskAtClear = s.pollFiles(); });
        const bool faulty =
            situation == "disk full" || situation == "silent" || situation.startsWith("wake");
        if (situation == "disk full")
            s.poller.setChildProcessModifier(
                [] { ChildProcess::endWithParent(), limitFileSize(512); });
        else if (faulty)
            putFault(s.terminal, situation);
        // The holder reaches the same device as com2, or as com1 by its port number, and polls
        // an empty terminal meanwhile.
        ChildProcess holder;
        qint64 holderPid = 0;
        const bool held = situation.startsWith("held");
        if (held) {
            s.terminal.setRecords({});
            s.terminal.linkAs(s.dir.path(), 1);
            if (situation == "held") {
                QVERIFY(holdThroughAnotherLink(holder, CORVANE_POLL, s.terminal, s.dir));
            } else {
                holder.start(CORVANE_POLL, {"--port=1", "--dir=" + s.dir.path()});
                QVERIFY(QTest::qWaitFor([&] { return s.state().has_value(); }, 10000));
            }
            holderPid = holder.processId();
        }
        const bool late = situation == "late" || held;
        s.start(!late);
        if (late) {
            QTest::qWait(3500); // past the first retry, which must not log again
            const auto meanwhile = s.state();
            QCOMPARE(meanwhile.value_or(PollerState{}).state,
                     situation == "held as com1" ? "polling" : "port lost");
            if (held) {
                ::kill(pid_t(holderPid), SIGTERM);
                QVERIFY(holder.waitForFinished(3000));
                s.terminal.setRecords(records);
            } else {
                s.terminal.linkAs(s.dir.path(), 1);
            }
        }
        if (situation == "lost") {
            // The device node goes (an adapter pulled: its link dangles) and comes back with
            // new records.
            QVERIFY(s.cleared());
            QVERIFY(QFile::remove(s.dir.filePath("com1")));
            QVERIFY(QFile::link(s.dir.filePath("unplugged"), s.dir.filePath("com1")));
            QVERIFY(QTest::qWaitFor(
                [&] { return s.state().value_or(PollerState{}).state == "port lost"; }, 5000));
            const QList<QByteArray> more = numberedRecords(3, "8011");
            s.terminal.setRecords(more);
            records += more;
            s.terminal.linkAs(s.dir.path(), 1);
            QVERIFY(QTest::qWaitFor([&] { return s.terminal.clearCount() == 2; }, 15000));
        }
        // Faulty: until the second turn has met the fault.
        QVERIFY(faulty ? QTest::qWaitFor(
                             [&] { return s.terminal.receivedBytes().count(" 0") >= 3; }, 10000)
                       : s.cleared());
        QFETCH(QString, state);
        const auto running = s.state();
        QVERIFY(running && running->running);
        QCOMPARE(running->state + ' ' + QString::number(running->lastRecords), state);
        QCOMPARE(running->lastTransfer.isValid(), !faulty);
        const QString log = s.stop();
        const auto stopped = s.state();
        QVERIFY(stopped && !stopped->running && stopped->state == "stopped");
        QCOMPARE(stopped->lastRecords, running->lastRecords);
        QFETCH(QStringList, logged);
        for (QString pattern : logged) {
            pattern.replace("HOLDER", QString::number(holderPid));
            QVERIFY2(log.count(QRegularExpression(pattern)) == 1,
                     qPrintable(pattern + " in " + log));
        }
        QCOMPARE(s.terminal.clearCount(), faulty ? 0 : situation == "lost" ? 2 : 1);
        if (faulty)
            QCOMPARE(s.terminal.records(), records);
        else
            QCOMPARE(onDiskAtClear, lines(records));
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

    // Under systemd: ready once the port was tried, the watchdog fed through a long transfer,
    // silent turns and a lost port, a status line for each new state, and stopping said.
    void shouldTellSystemdWhatItDoes()
    {
        Service s;
        NotifySocket systemd(s.dir.filePath("notify"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("NOTIFY_SOCKET", systemd.path);
        env.insert("WATCHDOG_USEC", QString::number(kWatchdogUs));
        s.poller.setProcessEnvironment(env);
        s.terminal.setRecords(numberedRecords(150, "8012"));
        s.terminal.setReplyCharDelayMs(2); // a transfer of about five seconds
        s.terminal.linkAs(s.dir.path(), 1);
        s.start(false); // by device: the port number would fall back to ttyS0 once it goes
        QVERIFY(systemd.wait(15000, [&] { return s.terminal.clearCount() > 0; }));
        s.terminal.setSilent(true);
        QVERIFY(systemd.wait(5000, [&] { return systemd.statuses.join('|').contains("silent"); }));
        systemd.wait(4000);
        s.terminal.hangUp();
        systemd.wait(4000);
        QVERIFY(!s.stop().startsWith("did not stop"));
        systemd.wait(0);

        const QString last = ", last at \\d\\d:\\d\\d";
        QVERIFY2(QRegularExpression("^port open; 0 records today\\|on line; 0 records today\\|"
                                    "on line; 150 records today" +
                                    last +
                                    "\\|silent; 150 records "
                                    "today" +
                                    last + "\\|port unavailable; 150 records today" + last + "$")
                     .match(systemd.statuses.join('|'))
                     .hasMatch(),
                 qPrintable(systemd.statuses.join('|')));
        QVERIFY(systemd.messages.first().second.startsWith("READY=1\nSTATUS="));
        QCOMPARE(systemd.messages.last().second, QByteArray("STOPPING=1"));
        // Never later than half the watchdog period, from ready to stopping.
        qint64 previous = systemd.messages.first().first, worst = 0;
        for (const auto &[atMs, text] : systemd.messages) {
            if (text == "WATCHDOG=1" || text == "STOPPING=1") {
                worst = qMax(worst, atMs - previous);
                previous = atMs;
            }
        }
        QVERIFY2(worst <= kWatchdogUs / 2000, qPrintable(QString::number(worst)));
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
        const auto row = table<QString>({"interruption"});
        row("stopped", "stop");
        row("file deleted", "rm");
        row("file moved, another put in its place", "mv");
        row("killed before the clear", "kill");
    }

    void shouldStoreEachRecordOnceWhateverBreaksATransfer()
    {
        QFETCH(QString, interruption);
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
                .arg(time)
                .arg(interruption == "kill" ? 0 : 150));
        QVERIFY2(stopped.match(s.read(".com1.state")).hasMatch(),
                 s.read(".com1.state").constData());
        QVERIFY(!s.state()->running);
        const QString expected = interruption == "kill"   ? "150 more came again, stored already"
                                 : interruption == "stop" ? ""
                                                          : "write error";
        QVERIFY2(log.contains(expected), qPrintable(log));
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
