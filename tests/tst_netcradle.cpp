// A cradle on the network, through the real tools on the loopback interface: the simulated
// terminal's line served on a TCP port by socat (as a serial device server in raw mode
// does), the link unit's own socat command turning the connection into a local
// pseudo-terminal, and corvane-poll polling that.
#include "SimFixture.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The link unit's ExecStart, as systemd would run it with this server and runtime folder. The
// pseudo-terminal goes to the test's own group instead of dialout, which the test user may
// not be in.
QStringList linkCommand(int port, const QString &runtimeDir)
{
    // An unreadable unit has no ExecStart line: the command comes out empty and fails to start.
    const QString text = QString::fromUtf8(fileBytes(QDir(), QStringLiteral(CORVANE_LINK_UNIT)))
                             .replace(QStringLiteral("\\\n"), " ");
    const group *own = ::getgrgid(::getgid());
    return QRegularExpression(QStringLiteral("^ExecStart=(.*)$"),
                              QRegularExpression::MultilineOption)
        .match(text)
        .captured(1)
        .replace(QStringLiteral("${CORVANE_LINK_HOST}"), QStringLiteral("127.0.0.1"))
        .replace(QStringLiteral("${CORVANE_LINK_PORT}"), QString::number(port))
        .replace(QStringLiteral("${RUNTIME_DIRECTORY}"), runtimeDir)
        .replace(QStringLiteral("group=dialout"), QStringLiteral("group=") + own->gr_name)
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The terminal and the three processes between it and the poll file, in a folder of their own.
struct NetCradle : WorkDir {
    sim::TerminalSim terminal;
    ChildProcess server; // the device server: the terminal's line on a TCP port
    ChildProcess link;   // the polling host's end of the connection
    ChildProcess poller;
    int port = 0; // any free one the first time, the same one after
    QString log;
    QString failure;

    // Whatever happened, nothing outlives the test or its folder; the poller goes first, so it
    // never sees its port fail on the way out.
    ~NetCradle()
    {
        for (QProcess *process : {&poller, &link, &server}) {
            process->kill();
            process->waitForFinished();
        }
    }

    QString device() const { return dir.filePath(QStringLiteral("tty")); }

    // Starts the server, then the link; true once the link's pseudo-terminal is there,
    // otherwise says why in `failure`.
    bool connect()
    {
        server.start(QStringLiteral("socat"),
                     {"-d", "-d",
                      QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port),
                      terminal.devicePath() + ",rawer"});
        const QRegularExpression listening(QStringLiteral("listening on .*:(\\d+)\n"));
        QString said;
        const bool answered = QTest::qWaitFor(
            [&] {
                said += QString::fromLocal8Bit(server.readAllStandardError());
                return said.contains(listening) || server.state() == QProcess::NotRunning;
            },
            5000);
        port = listening.match(said).captured(1).toInt();
        if (!answered || port == 0) {
            failure = "the server does not listen: " + server.errorString() + ' ' + said;
            return false;
        }
        const QStringList command = linkCommand(port, dir.path());
        link.start(command.value(0), command.mid(1));
        if (QTest::qWaitFor([&] { return QFileInfo::exists(device()); }, 5000))
            return true;
        failure = "no link from " + command.join(' ') + ": " + link.errorString() + ' ' +
                  QString::fromLocal8Bit(link.readAllStandardError());
        return false;
    }
    bool logged(const QString &pattern, int timeoutMs)
    {
        return QTest::qWaitFor(
            [&] {
                log += QString::fromLocal8Bit(poller.readAllStandardOutput());
                return log.contains(QRegularExpression(pattern));
            },
            timeoutMs);
    }
};

} // namespace

class TestNetCradle : public QObject {
    Q_OBJECT

private slots:
    // The network adds no byte and eats no pause: the turn goes out as on a local port, and the
    // terminal forgets its records only once they are on disk. Then the server drops the
    // connection in the middle of a transfer and is back soon after, the link started again
    // as systemd restarts its unit: the poller waits for its port as for a pulled adapter, the
    // whole records before the cut are kept aside at once, out of the poll file, and the
    // terminal, never cleared for the broken transfer, sends everything again, which is stored
    // once and cleared once, and what was kept aside goes.
    void shouldPollThroughTheNetworkAndOutlastADroppedConnection()
    {
        NetCradle n;
        const QList<QByteArray> records = numberedRecords(3, "8101");
        n.terminal.setRecords(records);
        QByteArray onDiskAtClear;
        n.terminal.setOnClear([&] { onDiskAtClear = n.pollFiles(); });
        QVERIFY2(n.connect(), qPrintable(n.failure));
        // The poller runs as another user than the link: it gets in through the group.
        struct stat tty {};
        QVERIFY(::stat(QFile::encodeName(n.device()).constData(), &tty) == 0);
        QCOMPARE(tty.st_mode & 0777, 0660u);
        QCOMPARE(tty.st_gid, ::getgid());
        n.poller.start(QStringLiteral(CORVANE_POLL),
                       {"--device=" + n.device(), "--dir=" + n.dir.path()});
        QVERIFY(QTest::qWaitFor([&] { return n.terminal.clearCount() == 1; }, 15000));
        const QByteArray turn = " 0!?^\r 0!7^\r 0!?^\r!6^\r";
        const auto received = n.terminal.received();
        QCOMPARE(bytesOf(received).left(turn.size()), turn);
        const QString off = checkGaps(
            received,
            {100, 100, 100, 100, 100, 500, 100, 200, 100, 100, 100, 2100, 100, 200, 100, 100, 100},
            80);
        QVERIFY2(off.isEmpty(), qPrintable(off));
        QCOMPARE(onDiskAtClear, lines(records));

        const QList<QByteArray> more = numberedRecords(300, "8102");
        n.terminal.setReplyCharDelayMs(1); // about 5 s for the transfer
        n.terminal.setRecords(more);
        n.terminal.clearLog();
        // Records flowing: about a third of them out.
        QVERIFY(QTest::qWaitFor(
            [&] {
                return n.terminal.receivedBytes().contains("!7^\r") &&
                       n.terminal.sent().size() > 1500;
            },
            15000));
        n.server.kill();
        QVERIFY(n.link.waitForFinished(5000));
        QVERIFY(!QFileInfo(n.device()).isSymLink());
        QVERIFY2(n.logged("<4>port \\S+/tty lost", 10000), qPrintable(n.log));
        QCOMPARE(n.pollFiles(), lines(records));
        const QByteArray atCut = n.setAside();
        const qsizetype keptAtCut = atCut.count("\r\n");
        QVERIFY2(keptAtCut > 0 && atCut == lines(more.first(keptAtCut)),
                 atCut.right(200).constData());

        n.terminal.setReplyCharDelayMs(0);
        QVERIFY2(n.connect(), qPrintable(n.failure));
        QVERIFY2(n.logged("<6>port \\S+/tty back", 10000), qPrintable(n.log));
        QVERIFY(QTest::qWaitFor([&] { return n.terminal.clearCount() == 2; }, 30000));
        ::kill(pid_t(n.poller.processId()), SIGTERM);
        QVERIFY(n.poller.waitForFinished(3000) && n.poller.exitCode() == 0);
        n.logged("stopped", 0);
        QCOMPARE(n.terminal.clearCount(), 2);
        QCOMPARE(onDiskAtClear, lines(records) + lines(more));
        QCOMPARE(n.pollFiles(), onDiskAtClear);
        QCOMPARE(n.setAside(), QByteArray());
        QCOMPARE(n.log.count(QStringLiteral(" lost")), 1);
        QCOMPARE(n.log.count(QStringLiteral(" back")), 1);
    }
};

QTEST_GUILESS_MAIN(TestNetCradle)
#include "tst_netcradle.moc"
