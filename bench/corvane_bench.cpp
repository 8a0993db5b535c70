// Performance targets of Corvane, measured against the simulated terminal.
//
//  1. Poll store: appending (and syncing) records keeps far ahead of the line. A terminal at
//     9600 bit/s delivers at most ~48 records of 20 characters a second; the store must take
//     at least ten times that.
//  2. A full terminal memory (64000 bytes) is fetched, stored and cleared with a processing
//     time (the turn minus its fixed protocol pauses) well under what the line itself needs
//     to deliver it (67 s at 9600 bit/s): at most a tenth of it.
//  3. Idle polling (a terminal that never answers) costs under 2% of one core.
//  4. The data file viewer loads a poll file of 1,000,000 lines in under 1.5 s, in a process
//     whose peak memory stays under 200 MB (measured in a child process of its own, so the
//     other benchmarks do not count).

#include "MainFixture.h"
#include "SimFixture.h"
#include "polling/PollScreen.h"
#include "viewer/ViewerScreen.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

int failures = 0;

void report(const char *what, double value, const char *unit, double target, bool higherIsBetter)
{
    const bool ok = higherIsBetter ? value >= target : value <= target;
    failures += ok ? 0 : 1;
    std::printf("%-44s %10.2f %-10s target %s %.2f  %s\n", what, value, unit,
                higherIsBetter ? ">=" : "<=", target, ok ? "ok" : "MISSED");
}

void benchPollStore()
{
    QTemporaryDir tmp;
    PollStore store(QDir(tmp.path()));
    const QByteArray record("8001234567890;00001");
    constexpr int kRecords = 500;
    QList<double> latenciesMs;
    QElapsedTimer all;
    all.start();
    for (int i = 0; i < kRecords; ++i) {
        QElapsedTimer one;
        one.start();
        if (!store.append(record))
            std::printf("append failed\n");
        latenciesMs << one.nsecsElapsed() / 1e6;
    }
    const double seconds = all.nsecsElapsed() / 1e9;
    std::sort(latenciesMs.begin(), latenciesMs.end());
    report("poll store: records per second", kRecords / seconds, "rec/s", 480, true);
    report("poll store: 99th percentile append", latenciesMs[kRecords * 99 / 100], "ms", 20, false);
}

void benchFullMemoryTransfer()
{
    MainFixture f;
    QList<QByteArray> records;
    for (int i = 0; records.size() * 21 < 64000; ++i)
        records << QByteArray("8001234567890;") + QByteArray::number(i).rightJustified(5, '0');
    f.terminal.setRecords(records);
    f.start();
    PollScreen screen(f.state, *f.window, f.window.get());
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (f.terminal.clearCount() >= 1)
            screen.Command2_Click();
    });
    tick.start(10);
    screen.show();
    QElapsedTimer limit;
    limit.start();
    while (screen.isVisible() && limit.elapsed() < 60000)
        QTest::qWait(10);

    const auto log = f.terminal.received();
    const QByteArray bytes = bytesOf(log);
    const qsizetype fetch = bytes.indexOf("!7^\r");
    const qsizetype clear = bytes.indexOf("!6^\r");
    if (fetch < 0 || clear < 0) {
        std::printf("full memory transfer: did not complete\n");
        ++failures;
        return;
    }
    // From the CR of "7" to the "!" of "6": 100 ms pause, 1 s of silence, 1 s before the
    // clear, 300 ms of wake-up; whatever is above that is our own processing.
    const double turnMs = (log[clear].atUs - log[fetch + 3].atUs) / 1000.0;
    const double processingMs = turnMs - (100 + 1000 + 1000 + 300);
    QFile pollFile(f.dir.filePath(PollStore::fileName(QDate::currentDate())));
    const double stored =
        pollFile.open(QIODevice::ReadOnly) ? double(pollFile.readAll().count("\r\n")) : 0.0;
    report("full memory: records in the poll file", stored, "records", double(records.size()),
           true);
    report("full memory (64000 B): processing time", processingMs / 1000.0, "s", 6.7, false);
}

void benchIdlePolling()
{
    MainFixture f;
    f.terminal.setSilent(true);
    f.start();
    PollScreen screen(f.state, *f.window, f.window.get());
    screen.show();
    QElapsedTimer wall;
    wall.start();
    const qint64 cpuBefore = processCpuTimeUs();
    QTimer::singleShot(5000, &screen, [&] { screen.Command2_Click(); });
    while (screen.isVisible() && wall.elapsed() < 10000)
        QTest::qWait(10);
    const double cpuShare = 100.0 * (processCpuTimeUs() - cpuBefore) / (wall.elapsed() * 1000.0);
    report("idle polling: CPU use", cpuShare, "% core", 2.0, false);
}

constexpr const char *kViewerChildFlag = "--viewer-load";

// In the child: loads DIR's poll file through the viewer and prints "ms peakMB".
int viewerLoadChild(const QString &dir)
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
    const double ms = clock.nsecsElapsed() / 1e6;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.1f %.1f %lld\n", ms, usage.ru_maxrss / 1024.0,
                static_cast<long long>(viewer.items().size()));
    return 0;
}

void benchViewerLoad()
{
    QTemporaryDir tmp;
    constexpr int kLines = 1'000'000;
    {
        QFile file(QDir(tmp.path()).filePath("06-12-26.pol"));
        if (!file.open(QIODevice::WriteOnly))
            return;
        QByteArray chunk;
        for (int i = 0; i < kLines; ++i) {
            // 30-character records, as a busy day of scanning writes them.
            chunk +=
                "8001234567890;" + QByteArray::number(i).rightJustified(8, '0') + ";00001.5\r\n";
            if (chunk.size() > (1 << 20) || i + 1 == kLines) {
                file.write(chunk);
                chunk.clear();
            }
        }
    }
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kViewerChildFlag), tmp.path()});
    child.waitForFinished(120000);
    const QList<QByteArray> out = child.readAllStandardOutput().trimmed().split(' ');
    if (out.size() != 3 || out[2].toInt() != kLines) {
        std::printf("viewer: 1M-line load did not complete\n");
        ++failures;
        return;
    }
    report("viewer: 1,000,000-line poll file load", out[0].toDouble() / 1000.0, "s", 1.5, false);
    report("viewer: peak memory of the loading process", out[1].toDouble(), "MB", 200, false);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], kViewerChildFlag) == 0)
        return viewerLoadChild(QString::fromLocal8Bit(argv[2]));
    benchViewerLoad();
    benchPollStore();
    benchFullMemoryTransfer();
    benchIdlePolling();
    return failures == 0 ? 0 : 1;
}
