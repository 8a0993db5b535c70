// The performance figures of Corvane, measured by driving the program's own code against the
// simulated terminal over a pseudo-terminal, headless. Every timing is a ratio to the
// protocol's own minimum or to a baseline taken in the same run, since absolute times on a
// shared machine are noisy. The program side of each polling figure runs in a child process,
// so its CPU time and peak memory are its own and not the simulator's.
//
// Prints one table (figure, measured, target, met) and the same as JSON; exits non-zero when
// a target is missed.

#include "Figures.h"
#include "Fleet.h"
#include "MainFixture.h"
#include "PgCluster.h"
#include "ProcStatus.h"
#include "ScriptedDialogs.h"
#include "SimFixture.h"
#include "core/polling/PollStore.h"
#include "widgets/MainWindow.h"
#include "widgets/MessageBoxDialogs.h"
#include "widgets/PollScreen.h"
#include "widgets/ProgramIcon.h"
#include "widgets/ViewerScreen.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

// ---------------------------------------------------------------------------- the table --

namespace {

struct Figure {
    QString name;
    double measured;
    QString unit;
    QString target; // "< 0.02"; empty: reported only
    bool met;
};
QList<Figure> figures;

} // namespace

void below(const QString &name, double measured, const QString &unit, double limit)
{
    figures.append({name, measured, unit, QStringLiteral("< %1").arg(limit), measured < limit});
}

void reportOnly(const QString &name, double measured, const QString &unit)
{
    figures.append({name, measured, unit, QString(), true});
}

void missing(const QString &name, const QString &why)
{
    std::printf("%s: NOT MEASURED (%s)\n", qPrintable(name), qPrintable(why));
    figures.append({name + " (" + why + ")", 0, QString(), QStringLiteral("measured"), false});
}

namespace {

bool printTable()
{
    bool allMet = true;
    std::printf("\n%-72s %12s %-6s %-10s %s\n", "figure", "measured", "unit", "target", "met");
    QJsonArray json;
    for (const Figure &f : figures) {
        allMet = allMet && f.met;
        std::printf("%-72s %12.4g %-6s %-10s %s\n", qPrintable(f.name), f.measured,
                    qPrintable(f.unit), qPrintable(f.target.isEmpty() ? "-" : f.target),
                    f.target.isEmpty() ? "-" : (f.met ? "yes" : "NO"));
        json.append(QJsonObject{{"figure", f.name},
                                {"measured", f.measured},
                                {"unit", f.unit},
                                {"target", f.target},
                                {"met", f.target.isEmpty() ? QJsonValue() : QJsonValue(f.met)}});
    }
    std::printf("\n%s\n", QJsonDocument(json).toJson(QJsonDocument::Compact).constData());
    return allMet;
}

// ------------------------------------------------------------------ the child processes --

constexpr const char *kPollChild = "--poll";
constexpr const char *kViewerChild = "--viewer-load";
constexpr const char *kStartupChild = "--startup";

// User plus system CPU time of a process, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

int viewerChild(const QString &dir)
{
    ScriptedDialogs dialogs;
    ViewerScreen viewer{QDir(dir), dialogs};
    viewer.show();
    QSignalSpy finished(&viewer, &ViewerScreen::loadFinished);
    QElapsedTimer clock;
    clock.start();
    viewer.Command1_Click();
    if (finished.isEmpty() && !finished.wait(60000))
        return 1;
    // Until the operator sees it: the list laid out and painted.
    QCoreApplication::processEvents();
    viewer.grab();
    std::printf("%.1f %.1f %lld\n", clock.nsecsElapsed() / 1e6, procStatusMb(getpid(), "VmHWM"),
                static_cast<long long>(viewer.items().size()));
    return 0;
}

// The polling screen over the main window, as the operator runs it.
int windowPollingChild(const QString &dir)
{
    ScriptedDialogs dialogs;
    ProgramState state{QDir(dir), dialogs};
    MainWindow window(state);
    window.Form_Load();
    PollScreen screen(state, &window);
    screen.show();
    return QApplication::exec();
}

// Start-up as main() does it from a shell; says "shown" once the main window is painted,
// then idles a second and reports its peak memory.
int startupChild(const QString &dir)
{
    QApplication::setWindowIcon(programIcon());
    MessageBoxDialogs dialogs;
    ProgramState state{QDir(dir), dialogs};
    MainWindow window(state);
    window.Form_Load();
    window.show();
    window.grab();
    std::printf("shown\n");
    std::fflush(stdout);
    QTest::qWait(1000);
    std::printf("%.1f\n", procStatusMb(getpid(), "VmHWM"));
    return 0;
}

// ------------------------------------------------------------------------ the scenarios --

// A working directory with the simulated terminal as com1, chosen in portacom.
struct Bench {
    QTemporaryDir tmp;
    QDir dir{tmp.path()};
    sim::TerminalSim terminal;

    Bench()
    {
        terminal.linkAs(dir.path(), 1);
        writeBytes(dir, "portacom", "1\r\n");
    }
};

// Which program polls: the window, or corvane-poll as the service runs it.
enum class Poller { Window, Headless };

QString nameOf(Poller poller)
{
    return poller == Poller::Window ? QStringLiteral("window") : QStringLiteral("corvane-poll");
}

// The program side, polling until stop() holds or limitMs passes; then killed.
struct PollingChild {
    QProcess process;
    double cpuAtEnd = 0;
    double peakMb = 0;

    explicit PollingChild(const QDir &dir, Poller poller = Poller::Window)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        // BENCH_CHILD_WRAP="valgrind --tool=callgrind" profiles the program side.
        const QStringList wrap =
            qEnvironmentVariable("BENCH_CHILD_WRAP").split(' ', Qt::SkipEmptyParts);
        const QStringList program =
            poller == Poller::Window
                ? QStringList{QCoreApplication::applicationFilePath(),
                              QString::fromLatin1(kPollChild), dir.path()}
                : QStringList{QStringLiteral(CORVANE_POLL), QStringLiteral("--port=1"),
                              QStringLiteral("--dir=") + dir.path()};
        const QStringList command = wrap + program;
        process.start(command.first(), command.mid(1));
        process.waitForStarted();
    }
    qint64 pid() const { return process.processId(); }
    bool runUntil(const std::function<bool()> &stop, int limitMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (!stop() && clock.elapsed() < limitMs)
            QThread::msleep(20);
        cpuAtEnd = cpuSeconds(pid());
        peakMb = procStatusMb(pid(), "VmHWM");
        if (qEnvironmentVariable("BENCH_CHILD_WRAP").contains("callgrind"))
            QProcess::execute("callgrind_control", {"-d", QString::number(pid())});
        // SIGTERM first: corvane-poll ends cleanly on it (and a profiler can write its data).
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished();
        return stop();
    }
};

// Times (us) at which needle starts in the log.
QList<qint64> timesOf(const QList<sim::LoggedByte> &log, const QByteArray &needle)
{
    const QByteArray bytes = bytesOf(log);
    QList<qint64> times;
    for (qsizetype i = bytes.indexOf(needle); i >= 0; i = bytes.indexOf(needle, i + 1))
        times << log[i].atUs;
    return times;
}

double meanGapMs(const QList<qint64> &times)
{
    return times.size() < 2 ? 0 : (times.last() - times.first()) / 1000.0 / (times.size() - 1);
}

// CPU share and turn period while polling a terminal that never answers, or one that
// answers with an empty memory.
void benchIdlePolling(bool silent, Poller poller)
{
    const QString what =
        (silent ? QStringLiteral("a silent terminal") : QStringLiteral("an empty one")) +
        QStringLiteral(", ") + nameOf(poller);
    Bench b;
    b.terminal.setSilent(silent);
    PollingChild child(b.dir, poller);
    QThread::msleep(2000); // start-up and the first turn
    const double cpuBefore = cpuSeconds(child.pid());
    const qint64 fromUs = sim::TerminalSim::nowUs();
    QElapsedTimer wall;
    wall.start();
    child.runUntil([&] { return wall.elapsed() >= 20000; }, 21000);
    const double cpuShare = (child.cpuAtEnd - cpuBefore) / (wall.elapsed() / 1000.0);
    // Left running for months, the service must cost next to nothing.
    below("CPU time / wall time while polling " + what + " (20 s)", cpuShare, "",
          poller == Poller::Window ? 0.02 : 0.002);

    QList<qint64> turns = timesOf(b.terminal.received(), silent ? " 0" : "!?^\r");
    turns.erase(std::remove_if(turns.begin(), turns.end(), [&](qint64 t) { return t < fromUs; }),
                turns.end());
    // Silent: 100 + 100 ms of wake-up, 1 s for the answer, 1 s idle. Empty: the wake-up, the
    // "?" frame, 500 + 500 ms; the reply's 27 bytes go unpaced here and take no time.
    const double minimumMs = silent ? 2200 : 1500;
    below("turn period / protocol minimum, " + what + " (" + QString::number(minimumMs / 1000) +
              " s)",
          meanGapMs(turns) / minimumMs, "", 1.03);
}

void benchFrameGaps()
{
    Bench b;
    SerialLink link(b.dir);
    link.setCommPort(1);
    link.setPortOpen(true);
    ScriptedDialogs dialogs;
    NoControls lock;
    Exchange exchange(link, dialogs, lock);
    constexpr int kFrames = 100;
    for (int i = 0; i < kFrames; ++i) {
        exchange.flushInput();
        exchange.sendCommand('?', 0);
    }
    QThread::msleep(50);
    const auto log = b.terminal.received();
    double worst = 0;
    for (qsizetype i = 0; i + 3 < log.size(); i += 4)
        for (int k = 0; k < 3; ++k)
            worst =
                std::max(worst, std::abs((log[i + k + 1].atUs - log[i + k].atUs) / 1000.0 - 100));
    if (log.size() != 4 * kFrames)
        return missing("command frame byte gaps", "frames lost");
    below("largest deviation of a command frame's byte gap from 100 ms (100 frames)", worst, "ms",
          10);
}

// CPU share of the exchange's two kinds of wait (a pause, then waiting for an answer that
// never comes), sleeping as on the main window and running events as the polling cycle does.
void benchWaits()
{
    for (const bool events : {false, true}) {
        SimFixture f;
        f.terminal.setSilent(true);
        if (!f.openLink())
            return missing(QStringLiteral("CPU time in a wait"), QStringLiteral("port not opened"));
        ExchangeStyle style;
        style.pausesProcessEvents = events;
        Exchange exchange = f.exchange(style);
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = cpuSeconds(getpid());
        exchange.pauseMs(1000);
        exchange.waitForCharacter();
        const double cpuShare = (cpuSeconds(getpid()) - cpuBefore) / (wall.elapsed() / 1000.0);
        below(QStringLiteral("CPU time / wall time in a pause and a timed-out wait, %1 (2 s)")
                  .arg(events ? QStringLiteral("running events") : QStringLiteral("sleeping")),
              cpuShare, "", 0.1);
    }
}

QList<QByteArray> makeRecords(int count)
{
    QList<QByteArray> records;
    records.reserve(count);
    for (int i = 0; i < count; ++i) // 28 characters, 30 with CR LF
        records << "8001234567890;" + QByteArray::number(i).rightJustified(8, '0') + ";000001";
    return records;
}

void bench9600()
{
    Bench b;
    b.terminal.setRecords(makeRecords(320)); // 9,600 bytes
    b.terminal.setReplyCharDelayUs(1042);    // 960 bytes a second: a line at 9600 bit/s
    PollingChild child(b.dir);
    if (!child.runUntil([&] { return b.terminal.clearCount() >= 1; }, 60000))
        return missing("9600 bit/s transfer", "no clear within 60 s");
    const QList<qint64> clears = timesOf(b.terminal.received(), " 0!?^\r!6^\r");
    qint64 lastByteUs = 0;
    for (const sim::LoggedByte &s : b.terminal.sent())
        if (s.atUs < clears.value(0))
            lastByteUs = s.atUs;
    below("9,600 bytes at 9600 bit/s: last byte to the clear's wake-up / 2 s",
          (clears.value(0) - lastByteUs) / 1000.0 / 2000.0, "", 1.01);
}

struct BulkResult {
    double processingS = -1;
    double plainReadS = -1;
    double peakMb = -1;
    qint64 lost = -1;
};

// A transfer of count records at the pseudo-terminal's own speed.
BulkResult benchBulk(int count, Poller poller)
{
    BulkResult r;
    Bench b;
    const QList<QByteArray> records = makeRecords(count);
    b.terminal.setRecords(records);
    b.terminal.setSentLogging(false);
    {
        PollingChild child(b.dir, poller);
        if (!child.runUntil([&] { return b.terminal.clearCount() >= 1; }, 180000))
            return r;
        r.peakMb = child.peakMb;
    }
    const auto log = b.terminal.received();
    const QByteArray bytes = bytesOf(log);
    const qint64 crUs = log[bytes.indexOf("!7^\r") + 3].atUs;
    const qint64 clearUs = timesOf(log, "!?^\r!6^\r").value(0);
    // From the CR of "7" to the "!" of the status before the clear: 100 ms pause, 1 s of
    // silence, 1 s before the clear, 300 ms of wake-up; the rest is the transfer and our own
    // processing of it.
    r.processingS = ((clearUs - crUs) / 1000.0 - (100 + 1000 + 1000 + 300)) / 1000.0;
    QFile pollFile(b.dir.filePath(PollStore::fileName(QDate::currentDate())));
    r.lost = count - (pollFile.open(QIODevice::ReadOnly) ? pollFile.readAll().count("\r\n") : 0);

    // The same bytes, read plainly through the serial link: the limit of this path.
    QByteArray transfer("\x02");
    for (const QByteArray &rec : records)
        transfer += rec + "\r\n";
    SerialLink link(b.dir);
    link.setCommPort(1);
    link.setPortOpen(true);
    QElapsedTimer clock;
    clock.start();
    b.terminal.inject(transfer);
    qint64 got = 0;
    while (got < transfer.size() && link.waitForInput(1000)) {
        link.setInputLen(0);
        got += link.input().size();
    }
    r.plainReadS = got == transfer.size() ? clock.nsecsElapsed() / 1e9 : -1;
    return r;
}

// The best of a few runs: noise on a shared machine only ever adds time.
BulkResult bestOf(int runs, int count, Poller poller = Poller::Window)
{
    BulkResult best;
    for (int i = 0; i < runs; ++i) {
        const BulkResult r = benchBulk(count, poller);
        if (r.processingS < 0)
            return r;
        if (best.processingS < 0 || r.processingS < best.processingS)
            best.processingS = r.processingS;
        if (best.plainReadS < 0 || (r.plainReadS > 0 && r.plainReadS < best.plainReadS))
            best.plainReadS = r.plainReadS;
        best.peakMb = std::max(best.peakMb, r.peakMb);
        best.lost = std::max(best.lost, r.lost);
    }
    return best;
}

void benchTransfers()
{
    const BulkResult small = bestOf(5, 100000);
    const BulkResult large = bestOf(3, 1000000);
    if (small.processingS < 0 || large.processingS < 0)
        return missing("bulk transfers", "a transfer did not complete");
    below("100,000 records of 30 bytes at pseudo-terminal speed: processing time (best of 5)",
          small.processingS, "s", 3);
    reportOnly("same, as a ratio to a plain read of the same bytes",
               small.processingS / small.plainReadS, "");
    below("growth: processing of 1,000,000 records (best of 3) / 10 x that of 100,000",
          large.processingS / (10 * small.processingS), "", 1.3);
    // The same bytes read plainly grow on their own; what the program adds is the rest.
    reportOnly("same growth for a plain read (the line and the simulator alone)",
               large.plainReadS / (10 * small.plainReadS), "");
    reportOnly("1,000,000 records: processing time as a ratio to a plain read",
               large.processingS / large.plainReadS, "");
    below("peak memory with 1,000,000 records received in one polling session", large.peakMb, "MB",
          300);
    below("records lost (lines in the poll files against records sent, every run)",
          double(small.lost + large.lost), "", 1);
}

void benchHeadlessTransfer()
{
    const BulkResult headless = bestOf(3, 100000, Poller::Headless);
    if (headless.processingS < 0)
        return missing("corvane-poll transfer", "a transfer did not complete");
    below("corvane-poll: 100,000 records, processing time / a plain read of the same bytes",
          headless.processingS / headless.plainReadS, "", 1.5);
    reportOnly("corvane-poll: that processing time (best of 3)", headless.processingS, "s");
    reportOnly("a plain read of the same bytes through the serial link (best of 3)",
               headless.plainReadS, "s");
    below("corvane-poll: peak resident memory over that transfer", headless.peakMb, "MB", 15);
    below("corvane-poll: records lost", double(headless.lost), "", 1);
}

void benchViewerLoad()
{
    QTemporaryDir tmp;
    {
        QFile file(QDir(tmp.path()).filePath("06-12-26.pol"));
        if (!file.open(QIODevice::WriteOnly))
            return missing("viewer", "cannot write the poll file");
        QByteArray chunk;
        for (const QByteArray &r : makeRecords(1000000)) {
            chunk += r + "\r\n";
            if (chunk.size() > (1 << 20)) {
                file.write(chunk);
                chunk.clear();
            }
        }
        file.write(chunk);
    }
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kViewerChild), tmp.path()});
    child.waitForFinished(120000);
    const QList<QByteArray> out = child.readAllStandardOutput().trimmed().split(' ');
    if (out.size() != 3 || out[2].toInt() != 1000000)
        return missing("viewer", "the load did not complete");
    below("viewer: a 1,000,000-line poll file loaded and shown", out[0].toDouble() / 1000.0, "s",
          1.5);
    below("viewer: peak memory of that process", out[1].toDouble(), "MB", 200);
}

// corvane-ship against a server of its own with fsync on, as a real one runs: a backlog of
// 1,000,000 records in 30 day files written by the poll store, then single records as a
// polling turn stores them, then nothing.
void benchShip()
{
    PgCluster pg(/*fsync=*/true);
    if (!pg.isRunning())
        return missing("ship", pg.error());
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const QList<QByteArray> records = makeRecords(1000000);
    for (int day = 0; day < 30; ++day) {
        PollStore store(dir, [day] { return QDate(2026, 11, 1).addDays(day); });
        for (qsizetype i = day * records.size() / 30; i < (day + 1) * records.size() / 30; ++i)
            store.append(records[i]);
        if (!store.commit())
            return missing("ship", "cannot write the backlog");
    }
    QProcess shipper;
    QElapsedTimer clock;
    clock.start();
    shipper.start(CORVANE_SHIP, {"--dir=" + tmp.path(), "--database=" + pg.conninfo()});
    const auto stop = qScopeGuard([&] {
        shipper.terminate();
        shipper.waitForFinished();
    });
    qint64 shipped = 0;
    static const QRegularExpression count(QStringLiteral(": (\\d+) records shipped"));
    while (shipped < records.size() && shipper.waitForReadyRead(30000)) {
        while (shipper.canReadLine())
            shipped += count.match(QString::fromUtf8(shipper.readLine())).captured(1).toLongLong();
    }
    const double backlogS = clock.nsecsElapsed() / 1e9;
    const double peakMb = procStatusMb(shipper.processId(), "VmHWM");
    if (shipped != records.size())
        return missing("ship", "the backlog was not shipped");
    below("corvane-ship: a backlog of 1,000,000 records in 30 files into PostgreSQL", backlogS, "s",
          10);
    below("corvane-ship: peak resident memory over that backlog", peakMb, "MB", 30);

    // A record stored as a polling turn stores it, until its file's shipped position, written
    // in the same transaction as the row, shows it.
    QList<double> latencies;
    PollStore store(dir, [] { return QDate(2026, 12, 7); });
    for (int i = 0; i < 9; ++i) {
        store.append(records[i]);
        clock.start();
        store.commit();
        const QString want =
            QString::number(QFileInfo(dir.filePath(store.todaysFileName())).size());
        while (clock.elapsed() < 5000 &&
               pg.query("SELECT shipped FROM corvane_files WHERE file_name = '" +
                        store.todaysFileName() + "'")
                       .value(0) != want)
            QThread::msleep(2);
        latencies << clock.nsecsElapsed() / 1e9;
        QThread::msleep(300);
    }
    std::sort(latencies.begin(), latencies.end());
    below("corvane-ship: a stored record to its row visible (median of 9)", latencies[4], "s", 1);

    QThread::sleep(1);
    const double cpuBefore = cpuSeconds(shipper.processId());
    clock.start();
    QThread::sleep(10);
    below("corvane-ship: CPU share with nothing to ship (10 s)",
          (cpuSeconds(shipper.processId()) - cpuBefore) / (clock.elapsed() / 1000.0), "", 0.002);
}

void benchStartup()
{
    QList<double> times, peaks;
    for (int run = 0; run < 5; ++run) {
        Bench b;
        QProcess child;
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kStartupChild), b.dir.path()});
        while (!child.canReadLine() && child.waitForReadyRead(10000)) {
        }
        if (child.readLine().trimmed() != "shown")
            return missing("start-up", "the main window was not shown");
        times << clock.nsecsElapsed() / 1e9;
        child.waitForFinished(10000);
        peaks << child.readLine().trimmed().toDouble();
    }
    std::sort(times.begin(), times.end());
    below("start-up: process start to main window shown, terminal answering (median of 5)",
          times[2], "s", 0.3);
    below("start-up: idle peak memory", *std::max_element(peaks.begin(), peaks.end()), "MB", 80);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3) {
        const QString dir = QString::fromLocal8Bit(argv[2]);
        if (qstrcmp(argv[1], kPollChild) == 0)
            return windowPollingChild(dir);
        if (qstrcmp(argv[1], kViewerChild) == 0)
            return viewerChild(dir);
        if (qstrcmp(argv[1], kStartupChild) == 0)
            return startupChild(dir);
    }
    // One group by name (startup, viewer, frames, waits, 9600, transfers, headless, idle, ship,
    // fleet), or all.
    const QByteArray only = argc >= 2 ? QByteArray(argv[1]) : QByteArray();
    // "fleet SHOPS SECONDS": how many shops, how long each way stores.
    int fleetShops = 200, fleetSeconds = 90;
    bool ok = true;
    if (only == "fleet" && argc >= 3)
        fleetShops = QByteArray(argv[2]).toInt(&ok);
    if (only == "fleet" && argc >= 4 && ok)
        fleetSeconds = QByteArray(argv[3]).toInt(&ok);
    if (!ok || fleetShops < 1 || fleetSeconds < 4) {
        std::fprintf(stderr, "usage: %s [GROUP | fleet [SHOPS [SECONDS, 4 or more]]]\n", argv[0]);
        return 2;
    }
    const auto run = [&](const char *name, const std::function<void()> &group) {
        if (only.isEmpty() || only == name)
            group();
    };
    QElapsedTimer total;
    total.start();
    run("startup", benchStartup);
    run("viewer", benchViewerLoad);
    run("frames", benchFrameGaps);
    run("waits", benchWaits);
    run("9600", bench9600);
    run("transfers", benchTransfers);
    run("headless", benchHeadlessTransfer);
    run("idle", [] {
        for (Poller poller : {Poller::Window, Poller::Headless}) {
            benchIdlePolling(true, poller);
            benchIdlePolling(false, poller);
        }
    });
    run("ship", benchShip);
    run("fleet", [&] { benchFleet(fleetShops, fleetSeconds); });
    const bool met = printTable();
    std::printf("benchmark took %.0f s on %d cores\n", total.elapsed() / 1000.0,
                QThread::idealThreadCount());
    return met ? 0 : 1;
}
