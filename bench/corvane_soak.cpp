// Soak: corvane-poll, as the service runs it, left running against a terminal that alternates
// normal transfers, silence, garbage, and a cable pulled and plugged back, for the given minutes.
// Afterwards every record the terminal ever held must be in the poll files, the program's
// memory must not have grown beyond a small bound, and no wait may have exceeded its bound.
//
//   corvane_soak MINUTES

#include "ProcStatus.h"
#include "SimFixture.h"
#include "TestFiles.h"

#include <QApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>

namespace {

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double minutes = argc > 1 ? QByteArray(argv[1]).toDouble() : 1.0;

    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    writeBytes(dir, "portacom", "1\r\n");
    auto terminal = std::make_unique<sim::TerminalSim>();
    terminal->linkAs(dir.path(), 1);

    // It picks the port up again by itself after a pulled cable, as no operator is there.
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.start(QStringLiteral(CORVANE_POLL),
                  {QStringLiteral("--port=1"), QStringLiteral("--dir=") + dir.path()});
    program.waitForStarted();

    QRandomGenerator random(1206);
    QSet<QByteArray> everHeld;
    int next = 0;
    double worstGapMs = 0;
    // Gaps between the program's bytes on one terminal, with the wait each phase allows.
    const auto measureGaps = [&] {
        const auto log = terminal->received();
        for (qsizetype i = 1; i < log.size(); ++i)
            worstGapMs = std::max(worstGapMs, (log[i].atUs - log[i - 1].atUs) / 1000.0);
    };
    QElapsedTimer clock;
    clock.start();
    double memoryAtMinute = -1;
    int phase = 0, losses = 0, garbage = 0, silences = 0;
    while (clock.elapsed() < minutes * 60000) {
        switch (phase++ % 4) {
        case 0: { // normal: records scanned between polls, fetched and cleared
            // A terminal in its cradle is not scanning: new records come once it is empty,
            // never in the middle of a transfer its clear would then erase unsent.
            QElapsedTimer normal;
            normal.start();
            while (normal.elapsed() < 20000) {
                if (terminal->records().isEmpty()) {
                    for (int i = 0; i < 10; ++i) {
                        const QByteArray r =
                            "S" + QByteArray::number(next++).rightJustified(7, '0');
                        terminal->addRecord(r);
                        everHeld.insert(r);
                    }
                }
                QThread::msleep(20);
            }
            break;
        }
        case 1: // switched off
            ++silences;
            terminal->setSilent(true);
            QThread::msleep(8000);
            terminal->setSilent(false);
            break;
        case 2: { // noise in place of the status line
            ++garbage;
            QByteArray noise;
            for (int i = 0; i < 200; ++i)
                noise += char(random.bounded(256));
            terminal->setStatusReplyOverride(noise.replace('\r', 'x') + '\r');
            QThread::msleep(6000);
            terminal->setStatusReplyOverride(std::nullopt);
            break;
        }
        case 3: { // the cable pulled and plugged back: the terminal keeps its memory
            ++losses;
            measureGaps();
            const QList<QByteArray> held = terminal->records();
            terminal->hangUp();
            // The operator's link stays, pointing at a device that is not there.
            QFile::link(QStringLiteral("/dev/corvane-unplugged"), dir.filePath("com1"));
            QThread::msleep(4000);
            terminal = std::make_unique<sim::TerminalSim>();
            terminal->setRecords(held);
            terminal->linkAs(dir.path(), 1);
            break;
        }
        }
        if (memoryAtMinute < 0 && clock.elapsed() > 60000)
            memoryAtMinute = procStatusMb(program.processId(), "VmRSS");
    }
    // Last, until the terminal is empty again.
    QElapsedTimer drain;
    drain.start();
    while (!terminal->records().isEmpty() && drain.elapsed() < 60000)
        QThread::msleep(100);
    measureGaps();
    const double memoryAtEnd = procStatusMb(program.processId(), "VmRSS");
    program.terminate();
    if (!program.waitForFinished(5000))
        program.kill();

    QSet<QByteArray> stored;
    for (const QString &name : dir.entryList({QStringLiteral("*.pol")}, QDir::Files))
        for (const QByteArray &line : fileBytes(dir, name).split('\n'))
            stored.insert(line.trimmed());
    qsizetype missing = 0;
    for (const QByteArray &r : std::as_const(everHeld))
        missing += stored.contains(r) ? 0 : 1;

    const double growth = memoryAtMinute < 0 ? 0 : memoryAtEnd - memoryAtMinute;
    // The longest silence the protocol itself makes is a silent turn's 2.2 s.
    constexpr double kGapBoundMs = 3500, kGrowthBoundMb = 20;
    std::printf("soak: %.1f min, %d cable pulls, %d silences, %d noise phases\n",
                clock.elapsed() / 60000.0, losses, silences, garbage);
    std::printf(
        "records held %lld, missing from the poll files %lld (still in the terminal %lld)\n",
        static_cast<long long>(everHeld.size()), static_cast<long long>(missing),
        static_cast<long long>(terminal->records().size()));
    std::printf("memory after 1 min %.1f MB, at the end %.1f MB (growth %.1f, bound %.0f)\n",
                memoryAtMinute, memoryAtEnd, growth, kGrowthBoundMb);
    std::printf("longest gap between the program's bytes %.0f ms (bound %.0f)\n", worstGapMs,
                kGapBoundMs);
    const bool ok = missing == 0 && growth < kGrowthBoundMb && worstGapMs < kGapBoundMs;
    std::printf("%s\n", ok ? "soak passed" : "SOAK FAILED");
    return ok ? 0 : 1;
}
