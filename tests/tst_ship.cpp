// corvane-ship against a PostgreSQL server of the test's own: what reaches the database, once.
#include "DataTable.h"
#include "PgCluster.h"
#include "SimFixture.h"
#include "polling/CommitMark.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QTest>

#include <csignal>

namespace {

// A poll file as a round of a test leaves it: its bytes, and the mark its store would have
// published (none when committed is -1).
struct PollFile {
    QString name;
    QByteArray bytes;
    qint64 committed = -1;
    QByteArray generation = "aaaaaaaaaaaaaaaa";
    qint64 since = 0;
};
using Round = QList<PollFile>;

// A row of corvane_records as ShipFixture::rows() gives it.
QString row(const QString &file, int generation, qsizetype offset, const QByteArray &record)
{
    return QStringLiteral("%1 %2 %3 \\x%4")
        .arg(file, QString::number(generation), QString::number(offset), record.toHex());
}

// The test process's one server (made once: initdb takes a second), and a database of the
// fixture's own in it.
std::unique_ptr<PgCluster> server;
int databases = 0;

struct ShipFixture : WorkDir {
    PgCluster &pg = *server;
    QString db = QStringLiteral("t%1").arg(++databases);
    QByteArray log;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    ShipFixture() { pg.query("CREATE DATABASE " + db, "postgres"); }
    QString conninfo() const { return pg.conninfo(db); }

    // corvane-ship --once on the folder: its exit status; its output goes to log.
    int once(const QString &conninfo, QString folder = {})
    {
        ChildProcess p;
        p.setProcessEnvironment(env);
        p.start(CORVANE_SHIP, {"--dir=" + (folder.isEmpty() ? dir.path() : folder),
                               "--database=" + conninfo, "--once"});
        p.waitForFinished(30000);
        log += p.readAllStandardOutput() + p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    // "file generation offset record" for every row, in file order.
    QStringList rows()
    {
        return pg.query("SELECT file_name, generation, file_offset, record FROM corvane_records "
                        "ORDER BY 1, 2, 3",
                        db);
    }
    // What they should be: every complete line of the poll files up to what their store committed.
    QStringList committedLines() const
    {
        QStringList out;
        for (const QString &name : dir.entryList({"*.pol"}, QDir::Files, QDir::Name)) {
            const QString path = dir.filePath(name);
            const auto mark = CommitMark::readFor(path, CommitMark::inodeOf(path));
            const QByteArray bytes = read(name).left(mark ? mark->length : -1);
            for (qsizetype at = 0, end; (end = bytes.indexOf("\r\n", at)) >= 0; at = end + 2)
                out << row(name, 1, at, bytes.mid(at, end - at));
        }
        return out;
    }
};

// The terminal in its cradle, polled into the folder, and a shipper watching the folder.
struct LiveFixture : ShipFixture {
    sim::TerminalSim terminal;
    ChildProcess poller, shipper;

    LiveFixture() { terminal.linkAs(dir.path(), 1); }
    ~LiveFixture()
    {
        poller.kill(), shipper.kill();
        poller.waitForFinished(), shipper.waitForFinished();
    }
    void startPoller() { poller.start(CORVANE_POLL, {"--port=1", "--dir=" + dir.path()}); }
    void startShipper()
    {
        shipper.start(CORVANE_SHIP, {"--dir=" + dir.path(), "--database=" + conninfo()});
    }
};

} // namespace

Q_DECLARE_METATYPE(Round)

class TestShip : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        server = std::make_unique<PgCluster>();
        QVERIFY2(server->isRunning(), qPrintable(server->error()));
    }
    void cleanupTestCase() { server.reset(); }

    // Each round leaves the folder so and ships it with --once; every row says where its
    // line came from, and nothing is shipped twice or past what a store has committed.
    void shouldShipEveryCommittedLineOnce_data()
    {
        const auto add = table<QList<Round>, QStringList, QString>({"rounds", "rows", "logged"});
        add("bytes exact, other files left alone",
            {{{"05-12-26.pol", {"A;1\r\n\xe0\xff\0\r\n\r\nC\t-4 \r\nD", 20}},
              {"06-12-26.POL", "X\t7\r\n\xe9;2\r\n"},
              {"32-12-26.pol", "Q\r\n"},
              {"notes.txt", "N\r\n"}}},
            {row("05-12-26.pol", 1, 0, "A;1"), row("05-12-26.pol", 1, 5, {"\xe0\xff\0", 3}),
             row("05-12-26.pol", 1, 10, ""), row("05-12-26.pol", 1, 12, "C\t-4 "),
             row("06-12-26.POL", 1, 0, "X\t7"), row("06-12-26.POL", 1, 5, "\xe9;2")},
            "<6>notes.txt: not a poll file, left alone\n");
        add("torn and unsynced lines past the committed length",
            {{{"05-12-26.pol", "A\r\nB\r\nTO", 3}}}, {row("05-12-26.pol", 1, 0, "A")}, "");
        add("appended between runs",
            {{{"05-12-26.pol", "A\r\n", 3}}, {{"05-12-26.pol", "A\r\nB\r\n", 6}}},
            {row("05-12-26.pol", 1, 0, "A"), row("05-12-26.pol", 1, 3, "B")}, "");
        add("removed and written anew by a store",
            {{{"05-12-26.pol", "A\r\n", 3}}, {{"05-12-26.pol", "A\r\n", 3, "bbbbbbbbbbbbbbbb"}}},
            {row("05-12-26.pol", 1, 0, "A"), row("05-12-26.pol", 2, 0, "A")},
            "<6>05-12-26.pol: written anew; its records go in as generation 2\n");
        add("mark lost, a store took the file over",
            {{{"05-12-26.pol", "A\r\n", 3}},
             {{"05-12-26.pol", "A\r\nB\r\n", 6, "bbbbbbbbbbbbbbbb", 3}}},
            {row("05-12-26.pol", 1, 0, "A"), row("05-12-26.pol", 1, 3, "B")}, "");
        add("edited under what was shipped",
            {{{"05-12-26.pol", "A\r\nB\r\n"}}, {{"05-12-26.pol", "Z\r\nB\r\nC\r\n"}}},
            {row("05-12-26.pol", 1, 0, "A"), row("05-12-26.pol", 1, 3, "B"),
             row("05-12-26.pol", 2, 0, "Z"), row("05-12-26.pol", 2, 3, "B"),
             row("05-12-26.pol", 2, 6, "C")},
            "<4>05-12-26.pol: no longer begins with the 6 bytes shipped from it; its content goes "
            "in as generation 2\n");
    }

    void shouldShipEveryCommittedLineOnce()
    {
        QFETCH(QList<Round>, rounds);
        ShipFixture s;
        for (const Round &round : rounds) {
            for (const PollFile &f : round) {
                const QString path = s.dir.filePath(f.name);
                // A new generation is a new file; an edit keeps the file.
                if (CommitMark::readFor(path, CommitMark::inodeOf(path))
                        .value_or(CommitMark{})
                        .generation != f.generation)
                    QFile::remove(path);
                QVERIFY(s.write(f.name, f.bytes));
                if (f.committed >= 0)
                    QVERIFY(
                        (CommitMark{f.generation, CommitMark::inodeOf(path), f.committed, f.since})
                            .writeFor(path));
            }
            QCOMPARE(s.once(s.conninfo()), 0);
        }
        QTEST(s.rows(), "rows");
        QFETCH(QString, logged);
        QVERIFY2(s.log.contains(logged.toUtf8()), s.log.constData());
    }

    // Two terminals polled on one host write files of the same names into two folders; what
    // each counted, as the office reads it.
    void shouldKeepTwoFoldersApart()
    {
        ShipFixture s;
        const WorkDir other;
        QVERIFY(s.write("05-12-26.pol", {"A;1\r\n\xe0\xff\0\r\n\r\nC\t-4 \r\n", 19}) &&
                other.write("05-12-26.pol", "X\t7\r\n\xe9;2\r\n"));
        QVERIFY(s.once(s.conninfo()) == 0 && s.once(s.conninfo(), other.dir.path()) == 0);
        const QString host = QSysInfo::machineHostName() + ':';
        QCOMPARE(
            s.pg.query("SELECT station, string_agg(code || '=' || coalesce(quantity::text, "
                       "'-'), ' ' ORDER BY file_offset) FROM corvane_items GROUP BY 1 ORDER BY 2",
                       s.db),
            (QStringList{host + s.dir.path() + " A=1 \\340\\377\\000=- =- C=-4",
                         host + other.dir.path() + " X=7 \xc3\xa9=2"}));
    }

    // What trying again will not mend ends the shipper at once with one clear line; a server
    // away ends a --once run only.
    void shouldStopOnWhatCannotWork_data()
    {
        // The connection string goes after the fixture's own.
        const auto add =
            table<QString, QString, int, QString>({"conninfo", "password", "status", "logged"});
        add("no such database", "dbname=nosuch", "", 1, "3D000");
        add("wrong password", "user=locked", "wrong", 1, "28P01");
        add("no password", "user=locked", "", 1, "password");
        add("no right to create the tables", "user=clerk", "", 1, "cannot create the tables");
        add("server away", "", "", 3, "<3>database unreachable");
        add("connection string does not parse", "nonsense", "", 2, "--database does not parse");
    }

    void shouldStopOnWhatCannotWork()
    {
        QFETCH(QString, conninfo);
        QFETCH(QString, password);
        ShipFixture s;
        QVERIFY(s.write("05-12-26.pol", "A\r\n"));
        s.env.insert("PGPASSFILE", "/nonexistent");
        if (!password.isEmpty())
            s.env.insert("PGPASSWORD", password);
        if (QTest::currentDataTag() == QByteArray("server away"))
            QVERIFY(s.pg.stop());
        QTEST(s.once(s.conninfo() + ' ' + conninfo), "status");
        QFETCH(QString, logged);
        QVERIFY2(s.log.contains(logged.toUtf8()), s.log.constData());
        QCOMPARE(s.log.count("<3>") + s.log.count("corvane-ship: "), 1);
        QVERIFY(!s.log.contains("secret") && !s.log.contains("wrong"));
        QVERIFY(s.pg.start());
    }

    // Records keep coming from the terminal through corvane-poll while the poller and the
    // shipper are killed or stopped at random moments and the server goes away once under a
    // running shipper: in the end every committed line is in the database once.
    void shouldShipEachLineOnceThroughKillsAndOutages()
    {
        LiveFixture s;
        auto [terminal, poller, shipper] = std::tie(s.terminal, s.poller, s.shipper);
        int batch = 0;
        const auto run = [&](int ms) {
            if (poller.state() == QProcess::NotRunning)
                s.startPoller();
            if (shipper.state() == QProcess::NotRunning)
                s.startShipper();
            if (terminal.records().isEmpty())
                terminal.setRecords(numberedRecords(100, qPrintable(QString::number(batch++))));
            QTest::qWait(ms);
        };
        QRandomGenerator random(20261207);
        for (int k = 0; k < 12; ++k) {
            run(random.bounded(300, 2500));
            if (k == 6) {
                QVERIFY(s.pg.stop());
                run(1500);
                QVERIFY(s.pg.start());
                QVERIFY(
                    QTest::qWaitFor([&] { return shipper.peek(1 << 20).contains("back"); }, 10000));
                const QByteArray log = shipper.readAll();
                QVERIFY2(log.count("<4>database unreachable: ") == 1 &&
                             log.count("<6>database back\n") == 1,
                         log.constData());
            }
            // SIGKILL: no destructor, no last commit. SIGTERM: the shipper stops at once, well.
            const int way = random.bounded(3);
            QProcess &victim = way == 1 ? poller : shipper;
            way == 2 ? victim.terminate() : victim.kill();
            QVERIFY(victim.waitForFinished(3000));
            QCOMPARE(victim.exitStatus() == QProcess::NormalExit && victim.exitCode() == 0,
                     way == 2);
        }
        run(3000);
        poller.terminate();
        QVERIFY(poller.waitForFinished());
        QVERIFY(batch > 2);
        QTRY_COMPARE_WITH_TIMEOUT(s.rows(), s.committedLines(), 15000);
    }

    // A store that fails part way (the file may grow no further) cuts its transfer back out
    // and the terminal keeps the records. Cleared by other means meanwhile, they must be
    // nowhere: the shipper, watching all along, never took them; what the terminal holds
    // next arrives once.
    void shouldNeverShipWhatTheStoreTakesBack()
    {
        LiveFixture s;
        auto [terminal, poller, shipper] = std::tie(s.terminal, s.poller, s.shipper);
        // Larger than the store's write buffer, so part of it is in the file for a while.
        terminal.setRecords(numberedRecords(24000, "T"));
        s.startShipper();
        poller.setChildProcessModifier(
            [] { ChildProcess::endWithParent(), limitFileSize(280000); });
        s.startPoller();
        QVERIFY(
            QTest::qWaitFor([&] { return poller.peek(1 << 16).contains("write error"); }, 30000));
        poller.terminate();
        QVERIFY(poller.waitForFinished());
        QCOMPARE(terminal.clearCount(), 0);
        terminal.setRecords(numberedRecords(3, "N"));
        poller.setChildProcessModifier(ChildProcess::endWithParent);
        s.startPoller();
        QVERIFY(QTest::qWaitFor([&] { return terminal.clearCount() == 1; }, 15000));
        QTRY_COMPARE_WITH_TIMEOUT(s.rows(), s.committedLines(), 5000);
        QVERIFY(s.rows().value(0).endsWith(QString::fromLatin1(QByteArray("N00000;0001").toHex())));
    }
};

QTEST_GUILESS_MAIN(TestShip)
#include "tst_ship.moc"
