// corvane-ship against a PostgreSQL server of the test's own: what reaches the database, once.
#include "DataTable.h"
#include "NotifySocket.h"
#include "PgBouncer.h"
#include "PgCluster.h"
#include "SimFixture.h"
#include "commit/CommitMark.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

namespace {

// A poll file as a round of a test leaves it: its bytes, and the mark its store would have
// published (none when committed is -1).
struct PollFile {
    QString name;
    QByteArray bytes;
    qint64 committed = -1;
    QByteArray markId = "aaaaaaaaaaaaaaaa";
    qint64 since = 0;
    // Removed by hand and put back (a backup): the old mark stays, naming the inode number
    // the new file got.
    bool restored = false;
    // How the round's shipper reaches the folder, if not by its path (ShipFixture::reach).
    QString via = {};
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
    int once(
        const QString &conninfo, QString folder = {}, const QStringList &more = {},
        const std::function<void()> &inChild = [] {})
    {
        ChildProcess p;
        p.setProcessEnvironment(env);
        p.setChildProcessModifier([&] { ChildProcess::endWithParent(), inChild(); });
        p.start(CORVANE_SHIP, QStringList{"--dir=" + (folder.isEmpty() ? dir.path() : folder),
                                          "--database=" + conninfo, "--once"} +
                                  more);
        p.waitForFinished(30000);
        log += p.readAllStandardOutput() + p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    // --once on the folder reached through a link, moved, from a renamed host, read-only (as
    // the service sees it), with --station, or (v2) as before folders had an identity.
    static constexpr int kNoNamespace = 125;
    int reach(const QString &via)
    {
        const WorkDir other;
        const QString moved = dir.path() + "-moved", link = other.dir.filePath("link");
        const QByteArray path = QFile::encodeName(dir.path());
        if (via == "v2") {
            pg.query("DROP TABLE corvane_stations CASCADE; UPDATE corvane_schema SET version = 2",
                     db);
            dir.remove(".corvane-folder");
        }
        // In namespaces of the shipper's own (the test runs as root); kNoNamespace otherwise.
        if (via == "host")
            return once(conninfo(), {}, {}, [] {
                if (unshare(CLONE_NEWUTS) != 0 || sethostname("x", 1) != 0)
                    _exit(kNoNamespace);
            });
        if (via == "read-only")
            return once(conninfo(), {}, {}, [&] {
                if (unshare(CLONE_NEWNS) != 0 ||
                    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                    mount(path, path, nullptr, MS_BIND, nullptr) != 0 ||
                    mount(nullptr, path, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
                    _exit(kNoNamespace);
            });
        if (via == "no birth times") {
            const QProcessEnvironment saved = env;
            env.insert("LD_PRELOAD", NO_BIRTH_TIME);
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
            const int status = once(conninfo());
            env = saved;
            return status;
        }
        if (via == "link" && QFile::link(dir.path(), link))
            return once(conninfo(), link);
        if (via == "moved" && QDir().rename(dir.path(), moved)) {
            const auto back = qScopeGuard([&] { QDir().rename(moved, dir.path()); });
            return once(conninfo(), moved);
        }
        return once(conninfo(), {},
                    via == "named" ? QStringList{"--station=warehouse"} : QStringList{});
    }
    // "file generation offset record" for every row, in file order.
    QStringList rows()
    {
        return pg.query("SELECT file_name, generation, file_offset, record FROM corvane_records "
                        "ORDER BY 1, 2, 3",
                        db);
    }
    // What they should be: every complete line of the poll files, up to the length committed
    // where the test gave one (a file's store commits all it holds once its terminal is cleared).
    QStringList committedLines(const QMap<QString, qint64> &committed = {}) const
    {
        QStringList out;
        for (const QString &name : dir.entryList({"*.pol"}, QDir::Files, QDir::Name)) {
            QByteArray bytes = read(name);
            bytes.truncate(committed.value(name, bytes.size()));
            for (qsizetype at = 0, end; (end = bytes.indexOf("\r\n", at)) >= 0; at = end + 2)
                out << row(name, 1, at, bytes.mid(at, end - at));
        }
        return out;
    }
};

// In a child: the system call fails with error, as the kernel's limits would make it.
void failSystemCall(int call, int error)
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __u32(call), 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | __u32(error)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{std::size(filter), filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        _exit(126);
}

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
    void startShipper(const QString &program = CORVANE_SHIP)
    {
        shipper.start(program, {"--dir=" + dir.path(), "--database=" + conninfo()});
    }
    static bool waitLogged(QProcess &p, const char *text, int ms = 10000)
    {
        return QTest::qWaitFor([&] { return p.peek(1 << 20).contains(text); }, ms);
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
        // counted: the lines corvane_items shows.
        const auto add =
            table<QList<Round>, QStringList, QString, int>({"rounds", "rows", "logged", "counted"});
        add("bytes exact, other files left alone",
            {{{"05-12-26.pol", {"A;1\r\n\xe0\xff\0\r\n\r\nC\n-4 \r\nD", 20}},
              {"06-12-26.POL", "X\t7\r\n\xe9;2\r\n"},
              {"32-12-26.pol", "Q\r\n"},
              {"notes.txt", "N\r\n"}}},
            {row("05-12-26.pol", 1, 0, "A;1"), row("05-12-26.pol", 1, 5, {"\xe0\xff\0", 3}),
             row("05-12-26.pol", 1, 10, ""), row("05-12-26.pol", 1, 12, "C\n-4 "),
             row("06-12-26.POL", 1, 0, "X\t7"), row("06-12-26.POL", 1, 5, "\xe9;2")},
            "<6>notes.txt: not a poll file, left alone\n", 6);
        add("torn and unsynced lines past the committed length",
            {{{"05-12-26.pol", "A\r\nB\r\nTO", 3}}}, {row("05-12-26.pol", 1, 0, "A")},
            ": 1 records shipped, generation 1 up to byte 3\n", 1);
        // As a file system without birth times answers: the mark is tied by inode and tail.
        add("torn and unsynced lines past the committed length, no birth times",
            {{{.name = "05-12-26.pol",
               .bytes = "A\r\nB\r\nTO",
               .committed = 3,
               .via = "no birth times"}}},
            {row("05-12-26.pol", 1, 0, "A")}, ": 1 records shipped, generation 1 up to byte 3\n",
            1);
        add("appended between runs",
            {{{"05-12-26.pol", "A\r\n", 3}}, {{"05-12-26.pol", "A\r\nB\r\n", 6}}},
            {row("05-12-26.pol", 1, 0, "A"), row("05-12-26.pol", 1, 3, "B")},
            ": 1 records shipped, generation 1 up to byte 6\n", 2);
        // A folder is one station, however its shipper reaches it.
        const auto reached = [&](const char *tag, const char *first, const char *then,
                                 const QString &logged) {
            add(tag,
                {{{.name = "05-12-26.pol", .bytes = "A\r\n", .committed = 3, .via = first}},
                 {{.name = "05-12-26.pol", .bytes = "A\r\nB\r\n", .committed = 6, .via = then}}},
                {row("05-12-26.pol", 1, 0, "A"), row("05-12-26.pol", 1, 3, "B")}, logged, 2);
        };
        reached("through a symbolic link", "", "link", "/link\n");
        reached("moved", "", "moved", "-moved\n");
        reached("from a renamed host", "", "host", ", now as x:/");
        reached("read-only without an identity, then given one", "read-only", "",
                "<6>the folder has no identity yet: ");
        reached("a station from before identities", "", "v2", "found by the folder's identity\n");
        reached("named by --station, then by default", "named", "",
                "<6>shipping as station warehouse\n");
        add("removed and written anew by a store",
            {{{"05-12-26.pol", "A\r\n", 3}}, {{"05-12-26.pol", "A\r\n", 3, "bbbbbbbbbbbbbbbb"}}},
            {row("05-12-26.pol", 1, 0, "A"), row("05-12-26.pol", 2, 0, "A")},
            "<6>05-12-26.pol: written anew; its records go in as generation 2\n", 2);
        add("mark lost, a store took the file over",
            {{{"05-12-26.pol", "A\r\n", 3}},
             {{"05-12-26.pol", "A\r\nB\r\n", 6, "bbbbbbbbbbbbbbbb", 3}}},
            {row("05-12-26.pol", 1, 0, "A"), row("05-12-26.pol", 1, 3, "B")},
            ": 1 records shipped, generation 1 up to byte 6\n", 2);
        add("restored under the removed file's mark",
            {{{"05-12-26.pol", "A1\r\n", 4}},
             {{"05-12-26.pol", "A1\r\nR2\r\nR3\r\n", -1, {}, 0, true}}},
            {row("05-12-26.pol", 1, 0, "A1"), row("05-12-26.pol", 1, 4, "R2"),
             row("05-12-26.pol", 1, 8, "R3")},
            ": 2 records shipped, generation 1 up to byte 12\n", 3);
        add("edited under what was shipped",
            {{{"05-12-26.pol", "A\r\nB\r\n"}}, {{"05-12-26.pol", "Z\r\nB\r\nC\r\n"}}},
            {row("05-12-26.pol", 1, 0, "A"), row("05-12-26.pol", 1, 3, "B"),
             row("05-12-26.pol", 2, 0, "Z"), row("05-12-26.pol", 2, 3, "B"),
             row("05-12-26.pol", 2, 6, "C")},
            "<4>05-12-26.pol: no longer begins with the 6 bytes shipped from it; its content goes "
            "in as generation 2 in place of generation 1\n",
            3);
    }

    void shouldShipEveryCommittedLineOnce()
    {
        QFETCH(QList<Round>, rounds);
        ShipFixture s;
        for (const Round &round : rounds) {
            for (const PollFile &f : round) {
                const QString path = s.dir.filePath(f.name);
                const auto old = CommitMark::readFor(path, FileId::at(path));
                // A new mark id is a new file; an edit keeps the file.
                if (f.restored || old.value_or(CommitMark{}).id != f.markId)
                    QFile::remove(path);
                QVERIFY(s.write(f.name, f.bytes));
                if (f.restored) {
                    CommitMark stale = old.value_or(CommitMark{});
                    stale.file.inode = FileId::at(path).inode;
                    QVERIFY(stale.writeFor(path));
                }
                FileId id = FileId::at(path);
                id.birth = f.via == "no birth times" ? 0 : id.birth;
                if (f.committed >= 0)
                    QVERIFY((CommitMark{f.markId, id, f.committed, f.since}).writeFor(path));
            }
            const int status = s.reach(round.last().via);
            if (status == s.kNoNamespace)
                QSKIP("the shipper cannot have namespaces of its own here (not root)");
            QCOMPARE(status, 0);
        }
        QTEST(s.rows(), "rows");
        QFETCH(QString, logged);
        QVERIFY2(s.log.contains(logged.toUtf8()), s.log.constData());
        QTEST(s.pg.query("SELECT count(*) FROM corvane_items", s.db).value(0).toInt(), "counted");
    }

    // A mark or a poll file that cannot be read is neither absent nor changed: nothing is
    // shipped from it until it reads again, then each committed line once, in the generation
    // it was shipped in. A directory in the mark's place fails to read for any user; a poll
    // file that may be written but not read, for all but root. The poll file has no mark
    // then (one put back by hand): the mark's own check of the file's tail cannot answer.
    void shouldWaitForWhatCannotBeRead_data()
    {
        const auto add = table<bool>({"markUnreadable"});
        add("commit mark", true);
        add("poll file", false);
    }

    void shouldWaitForWhatCannotBeRead()
    {
        QFETCH(bool, markUnreadable);
        LiveFixture s;
        const QString path = s.dir.filePath("05-12-26.pol");
        const QString markName = QFileInfo(CommitMark::pathFor(path)).fileName();
        // The mark of the file at path, written beside where (the same bytes, elsewhere).
        const auto commit = [&](qint64 length, const QString &where) {
            return CommitMark{"aaaaaaaaaaaaaaaa", FileId::at(path), length}.writeFor(where);
        };
        QVERIFY(s.write("05-12-26.pol", "A\r\nB\r\n") && commit(6, path));
        // Permissions do not stop root: the shipper runs as the server's user then, nobody.
        QFile::setPermissions(s.dir.path(), QFile::permissions(s.dir.path()) | QFile::ReadOther |
                                                QFile::ExeOther);
        s.shipper.setChildProcessModifier(PgCluster::asServerUser(SIGKILL));
        // A copy that user may run: the build tree can lie in a folder closed to others.
        QTemporaryDir bin;
        QVERIFY(QFile::copy(CORVANE_SHIP, bin.filePath("corvane-ship")) &&
                QFile::setPermissions(bin.path(), QFile::permissions(bin.path()) |
                                                      QFile::ReadOther | QFile::ExeOther));
        s.startShipper(bin.filePath("corvane-ship"));
        QTRY_COMPARE_WITH_TIMEOUT(s.rows().size(), 2, 10000);
        const auto readable = QFile::permissions(path);
        QVERIFY(s.dir.remove(markName));
        // The mark's removal looked at first, so that the file's next change finds nothing to
        // judge and only reading it for what waits fails: no event says it turned unreadable.
        QTest::qWait(1000);
        QVERIFY(markUnreadable ? s.dir.mkdir(markName)
                               : QFile::setPermissions(path, QFile::WriteOwner));
        // With a mark, committed up to C; X may still be taken back.
        QVERIFY(s.write("05-12-26.pol", "A\r\nB\r\nC\r\nX\r\n"));
        QVERIFY(s.waitLogged(s.shipper, "cannot be read"));
        QTest::qWait(3000); // past a try again
        QCOMPARE(s.rows().size(), 2);
        // The mark put back in one step: a moment without one would let the file ship whole.
        // It is made as its store makes it, from the same bytes in a folder of its own.
        const WorkDir copy;
        const auto putBack = [&] {
            const QByteArray aside = QFile::encodeName(s.dir.filePath(".aside"));
            const QByteArray mark = QFile::encodeName(s.dir.filePath(markName));
            return copy.write("05-12-26.pol", s.read("05-12-26.pol")) &&
                   commit(9, copy.dir.filePath("05-12-26.pol")) &&
                   s.write(".aside", copy.read(markName)) &&
                   ::renameat2(AT_FDCWD, aside.constData(), AT_FDCWD, mark.constData(),
                               RENAME_EXCHANGE) == 0 &&
                   s.dir.rmdir(".aside");
        };
        QVERIFY(markUnreadable ? putBack() : QFile::setPermissions(path, readable));
        QVERIFY(s.waitLogged(s.shipper, "reads again"));
        QCOMPARE(s.rows(), s.committedLines({{"05-12-26.pol", markUnreadable ? 9 : 12}}));
        const QByteArray log = s.shipper.readAll();
        QVERIFY2(log.count("<4>05-12-26.pol: cannot be read (") == 1 && log.count("<4>") == 1 &&
                     log.count("<6>05-12-26.pol: reads again\n") == 1,
                 log.constData());
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

    // How a single run ends, by what the server answers. What trying again will not mend ends
    // it with one clear line, secrets left out; a server away, or an error a trigger raises
    // whose SQLSTATE trying again may mend, ends it as unreachable (3). TCP to a host other
    // than the loopback asks for verify-full unless sslmode is given; a server whose TLS does
    // not verify, or that has none, is refused with how to mend it.
    void shouldEndASingleRunAsTheServerAnswers_data()
    {
        // setup: "away", "tls on"/"tls off" (the server's ssl), "raise STATE" (a trigger on
        // corvane_files); the connection string goes after the fixture's own.
        const auto add = table<QString, QString, QString, int, QString>(
            {"setup", "conninfo", "password", "status", "logged"});
        add("no such database", "", "dbname=nosuch", "", 1, "3D000");
        add("wrong password", "", "user=locked", "wrong", 1, "28P01");
        add("no password", "", "user=locked", "", 1, "password");
        add("no right to create the tables", "", "user=clerk", "", 1, "cannot create the tables");
        add("server away", "away", "", "", 3, "<3>database unreachable");
        add("connection string does not parse", "", "nonsense", "", 2,
            "parse: missing \"=\" after");
        add("password does not parse", "", "password=my secret", "", 2, "parse; give the password");
        add("password in the connection string", "", "password=secret", "", 2, "~/.pgpass, a file");
        const QString remote = "host=corvane.test hostaddr=127.0.0.1 ";
        add("loopback keeps libpq's default", "tls on", "host=localhost", "", 0, "as corvane\n");
        add("remote name: verify-full", "tls on", remote + "sslrootcert=CERT", "", 1,
            "does not match host name");
        add("sslmode given stands", "tls on", remote + "sslmode=prefer", "", 0, "as corvane\n");
        add("server without TLS", "tls off", "host=localhost sslmode=verify-full sslrootcert=CERT",
            "", 1, "server does not support SSL");
        add("statement time-out", "raise 57014", "", "", 3, "planted");
        add("lock time-out", "raise 55P03", "", "", 3, "planted");
        add("read-only transaction", "raise 25006", "", "", 3, "planted");
        add("server starting up", "raise 57P03", "", "", 3, "planted");
        add("no privilege", "raise 42501", "", "", 1, "planted");
    }

    void shouldEndASingleRunAsTheServerAnswers()
    {
        QFETCH(QString, setup);
        QFETCH(QString, conninfo);
        QFETCH(QString, password);
        ShipFixture s;
        QVERIFY(s.write("05-12-26.pol", "A\r\n"));
        s.env.insert("PGPASSFILE", "/nonexistent");
        s.env.insert("HOME", s.dir.path()); // no root certificate of the user's
        if (!password.isEmpty())
            s.env.insert("PGPASSWORD", password);
        const bool tls = setup.startsWith("tls");
        if (tls) {
            static const bool listening = server->listenWithTls();
            QVERIFY2(listening, qPrintable(server->error()));
            s.pg.query("ALTER SYSTEM SET ssl = " + setup.mid(4), "postgres");
            s.pg.query("SELECT pg_reload_conf()", "postgres");
            QTest::qWait(300);
        } else if (setup.startsWith("raise")) {
            QCOMPARE(s.once(s.conninfo()), 0); // the tables
            s.pg.query("CREATE FUNCTION fail() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RAISE "
                       "EXCEPTION 'planted' USING ERRCODE = '" +
                           setup.mid(6) +
                           "'; END$$; CREATE TRIGGER fail BEFORE INSERT ON corvane_files "
                           "FOR EACH ROW EXECUTE FUNCTION fail()",
                       s.db);
            QVERIFY(s.write("06-12-26.pol", "B\r\n"));
            s.log.clear();
        } else if (setup == "away") {
            QVERIFY(s.pg.stop());
        }
        QTEST(s.once(s.conninfo() + ' ' + conninfo.replace("CERT", s.pg.certificate())), "status");
        QFETCH(QString, logged);
        QFETCH(int, status);
        QVERIFY2(s.log.contains(logged.toUtf8()) &&
                     s.log.count("<3>") + s.log.count("corvane-ship: ") == (status != 0) &&
                     s.log.contains("sslrootcert=FILE") == (tls && status == 1) &&
                     !s.log.contains("secret") && !s.log.contains("wrong"),
                 s.log.constData());
        QVERIFY(s.pg.start());
    }

    // A cloned machine keeps its host name, so its station: the second shipper waits, says
    // once who ships the station, and takes over when the first one's lease runs out (the
    // first, still running, then waits in turn) or when the holder is killed; --once does
    // not wait.
    void shouldShipAStationFromOneShipperAtATime()
    {
        LiveFixture s;
        QVERIFY(s.write("05-12-26.pol", "A\r\n"));
        s.startShipper();
        QTRY_COMPARE_WITH_TIMEOUT(s.rows().size(), 1, 10000);
        ChildProcess second;
        second.start(CORVANE_SHIP, {"--dir=" + s.dir.path(), "--database=" + s.conninfo()});
        QVERIFY(s.waitLogged(second, "waiting"));
        QCOMPARE(s.once(s.conninfo()), 5);
        // As when the first is cut off from the server for longer than its lease.
        s.pg.query("UPDATE corvane_stations SET lease_until = now() - interval '1 s'", s.db);
        QVERIFY(s.waitLogged(second, "taken over"));
        QVERIFY(s.write("05-12-26.pol", "A\r\nB\r\n"));
        QVERIFY(s.waitLogged(s.shipper, "waiting"));
        QTRY_COMPARE_WITH_TIMEOUT(s.rows().size(), 2, 10000);
        second.kill();
        QVERIFY(second.waitForFinished());
        QVERIFY(s.write("05-12-26.pol", "A\r\nB\r\nC\r\n"));
        QVERIFY(s.waitLogged(s.shipper, "taken over"));
        QTRY_COMPARE_WITH_TIMEOUT(s.rows(), s.committedLines(), 5000);
        const QByteArray log = s.shipper.readAll() + second.readAll() + s.log;
        QVERIFY2(log.count("is being shipped by corvane-ship on " +
                           QSysInfo::machineHostName().toUtf8() + " (pid ") == 3,
                 log.constData());
    }

    // The office's view of a shop, directly, with a folder that cannot be watched (inotify's
    // limits, as a seccomp filter makes them), and through a pooler in transaction mode: the
    // poller's state and the shipper's, each as it changes; no connection kept while idle; a
    // shipper killed and started again ships at once.
    void shouldShowTheShopToTheOffice_data()
    {
        // The poller ends stopped (SIGTERM), or killed: a folder looked at every 3 s finds out
        // within seconds, a watched one at the next heartbeat.
        const auto add = table<QString, QString>({"way", "pollerEnds"});
        add("directly", "direct", "stopped");
        add("folder not watched", "no inotify", "not running");
        add("through a pooler in transaction mode", "pooler", "stopped");
    }

    void shouldShowTheShopToTheOffice()
    {
        QFETCH(QString, way);
        QFETCH(QString, pollerEnds);
        LiveFixture s;
        // Two server connections for everything, so that transactions change connection.
        std::optional<PgBouncer> pooler;
        if (way == "pooler")
            QVERIFY2(
                pooler.emplace(s.pg, QStringList{"corvane"}, QStringList{"default_pool_size = 2"})
                    .isRunning(),
                qPrintable(pooler->error()));
        const QString conninfo = pooler ? pooler->conninfo(s.db) : s.conninfo();
        const QStringList run = {"--dir=" + s.dir.path(), "--database=" + conninfo,
                                 "--idle-timeout=0.5"};
        if (way == "no inotify")
            s.shipper.setChildProcessModifier([] {
                ChildProcess::endWithParent();
                failSystemCall(__NR_inotify_init1, EMFILE);
            });
        const auto fleet = [&] {
            return s.pg.query("SELECT shipper, terminal, poller, last_records, records_today "
                              "FROM corvane_fleet",
                              s.db);
        };
        s.terminal.setRecords(numberedRecords(5, "F"));
        s.startPoller();
        s.shipper.start(CORVANE_SHIP, run);
        QTRY_COMPARE_WITH_TIMEOUT(fleet(), QStringList{"shipping com1 polling 5 5"}, 15000);
        // Directly, no connection is kept while idle (the pooler keeps its own).
        if (!pooler)
            QTRY_COMPARE_WITH_TIMEOUT(
                s.pg.query("SELECT count(*) FROM pg_stat_activity WHERE datname = '" + s.db + "'",
                           "postgres"),
                QStringList{"0"}, 5000);
        s.shipper.kill();
        QVERIFY(s.shipper.waitForFinished());
        s.terminal.setRecords(numberedRecords(3, "G"));
        s.shipper.start(CORVANE_SHIP, run);
        QTRY_COMPARE_WITH_TIMEOUT(fleet(), QStringList{"shipping com1 polling 3 8"}, 15000);
        pollerEnds == "stopped" ? s.poller.terminate() : s.poller.kill();
        QVERIFY(s.poller.waitForFinished());
        QTRY_COMPARE_WITH_TIMEOUT(fleet(), QStringList{"shipping com1 " + pollerEnds + " 3 8"},
                                  10000);
        s.shipper.terminate();
        QVERIFY(s.shipper.waitForFinished());
        QCOMPARE(fleet(), QStringList{"stopped com1 " + pollerEnds + " 3 8"});
        QCOMPARE(s.rows(), s.committedLines());
        QCOMPARE(s.shipper.readAll().count("looking every 1 s instead"), int(way == "no inotify"));
    }

    // Oldest day first by the date a name gives; a record longer than a batch, and a backlog
    // of several batches, shipped whole.
    void shouldShipOldestDayFirstAndEveryBatch_data()
    {
        const auto add = table<QStringList, QByteArray>({"files", "bytes"});
        add("across a month's end", {"01-12-26.pol", "30-11-26.pol", "02-01-27.pol"}, "A\r\n");
        add("a record longer than a batch", {"05-12-26.pol"},
            QByteArray(3 << 19, 'L') + "\r\nB\r\n");
        add("a backlog of batches", {"05-12-26.pol"},
            QByteArray(1021, 'R').append("\r\n").repeated(3000));
    }

    void shouldShipOldestDayFirstAndEveryBatch()
    {
        QFETCH(QStringList, files);
        QFETCH(QByteArray, bytes);
        ShipFixture s;
        for (const QString &name : files)
            QVERIFY(s.write(name, bytes));
        QCOMPARE(s.once(s.conninfo()), 0);
        QCOMPARE(s.rows(), s.committedLines());
        std::sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
            return QDate::fromString(a.left(8), "dd-MM-yy") <
                   QDate::fromString(b.left(8), "dd-MM-yy");
        });
        QCOMPARE(s.pg.query("SELECT file_name FROM corvane_files ORDER BY file_id", s.db), files);
    }

    // Under systemd: ready after the first connection, the watchdog fed all along, a status
    // line that follows the database and the lines waiting. A failover to a standby, as the
    // database set read-only under the shipper: it waits, says so once, then ships all once.
    void shouldTellSystemdWhatItDoes()
    {
        LiveFixture s;
        NotifySocket systemd(s.dir.filePath("notify"));
        s.shipper.setProcessEnvironment(systemd.environment(s.env));
        const QString today = QDate::currentDate().toString("dd-MM-yy") + ".pol";
        QVERIFY(s.write(today, "A\r\nB\r\n"));
        s.startShipper();
        QVERIFY(systemd.waitForStatus("0 waiting", 10000));
        const auto readOnly = [&](const QString &value) {
            s.pg.query("ALTER SYSTEM SET default_transaction_read_only = " + value, "postgres");
            s.pg.query("SELECT pg_reload_conf()", "postgres");
            systemd.wait(300);
        };
        readOnly("on");
        QVERIFY(s.write(today, "A\r\nB\r\nC\r\nD\r\n"));
        QVERIFY(systemd.waitForStatus("2 lines", 5000));
        systemd.wait(2500);
        readOnly("off");
        QVERIFY(systemd.waitForStatus("4 rows", 10000));
        QCOMPARE(s.rows(), s.committedLines());
        s.shipper.terminate();
        QVERIFY(s.shipper.waitForFinished());
        const QByteArray log = s.shipper.readAll();
        QVERIFY2(log.count("<4>database unreachable: ") == 1 && log.count("read-only") == 1 &&
                     log.count("back") == 1,
                 log.constData());
        const QString at = "\\d\\d:\\d\\d";
        QCOMPARE(systemd.misses("shipping; 2 rows today, last at " + at +
                                "; 0 waiting\\|database unreachable since " + at +
                                "; 2 lines waiting\\|shipping; 4 rows today, last at " + at +
                                "; 0 waiting"),
                 QString());
    }

    // Records keep coming from the terminal through corvane-poll while the poller and the
    // shipper are killed or stopped at random moments and the server goes away once under a
    // running shipper: in the end each committed line is in the database once, as sent.
    void shouldShipEachLineOnceThroughKillsAndOutages()
    {
        LiveFixture s;
        auto [terminal, poller, shipper] = std::tie(s.terminal, s.poller, s.shipper);
        QStringList sent; // as the database shows them
        const auto run = [&](int ms) {
            if (poller.state() == QProcess::NotRunning)
                s.startPoller();
            if (shipper.state() == QProcess::NotRunning)
                s.startShipper();
            if (terminal.records().isEmpty()) {
                terminal.setRecords(numberedRecords(100, qPrintable(QString::number(sent.size()))));
                for (const QByteArray &r : terminal.records())
                    sent << "\\x" + r.toHex();
            }
            QTest::qWait(ms);
        };
        QRandomGenerator random(20261207);
        for (int k = 0; k < 12; ++k) {
            run(random.bounded(300, 2500));
            if (k == 6) {
                QVERIFY(s.pg.stop());
                run(1500);
                QVERIFY(s.pg.start());
                QVERIFY(s.waitLogged(shipper, "back"));
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
        QVERIFY(QTest::qWaitFor([&] { return terminal.records().isEmpty(); }, 10000));
        poller.terminate();
        QVERIFY(poller.waitForFinished());
        QVERIFY(sent.size() > 200);
        sent.sort(); // byte order, as bytea's
        // Every record the terminal sent, each once, and nothing else.
        QTRY_COMPARE_WITH_TIMEOUT(s.pg.query("SELECT record FROM corvane_records ORDER BY 1", s.db),
                                  sent, 15000);
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
        QVERIFY(s.waitLogged(poller, "write error", 30000));
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
