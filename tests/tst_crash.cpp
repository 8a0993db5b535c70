#include "MainFixture.h"
#include "ProgramChild.h"
#include "SimFixture.h"
#include "polling/PollScreen.h"

#include <QApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

namespace {

constexpr const char *kPollChild = "--poll";

} // namespace

class TestCrash : public QObject {
    Q_OBJECT

private slots:
    // Killed at random moments and started again in the same folder, the program never
    // loses a record the terminal was told to forget, and never glues one to torn remains.
    // CORVANE_CRASH_KILLS sets how many kills (20 by default).
    void shouldKeepEveryClearedRecordThroughKills()
    {
        const int kills = qEnvironmentVariableIntValue("CORVANE_CRASH_KILLS") > 0
                              ? qEnvironmentVariableIntValue("CORVANE_CRASH_KILLS")
                              : 20;
        const WorkDir w;
        const QDir &dir = w.dir;
        sim::TerminalSim terminal;
        terminal.linkAs(dir.path(), 1);
        QVERIFY(w.write("portacom", "1\r\n"));

        int next = 0;
        QList<QByteArray> held; // what the terminal holds now, as far as this test knows
        QSet<QByteArray> cleared;
        const auto refill = [&] {
            if (!terminal.records().isEmpty())
                return;
            for (const QByteArray &r : std::as_const(held))
                cleared.insert(r);
            held.clear();
            for (int i = 0; i < 40; ++i)
                held << "R" + QByteArray::number(next++).rightJustified(6, '0');
            terminal.setRecords(held);
        };
        refill();

        QRandomGenerator random(20261206);
        for (int k = 0; k <= kills; ++k) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {QString::fromLatin1(kPollChild), dir.path()});
            QVERIFY(child.waitForStarted());
            terminal.clearLog();
            QElapsedTimer clock;
            clock.start();
            // The last run goes on until the terminal has been cleared once more.
            const bool last = k == kills;
            const int cleared0 = terminal.clearCount();
            const qint64 killAtMs = last ? 20000 : random.bounded(100, 7000);
            while (clock.elapsed() < killAtMs && !(last && terminal.clearCount() > cleared0)) {
                refill();
                QThread::msleep(5);
            }
            child.kill(); // SIGKILL: no destructor, no flush
            QVERIFY(child.waitForFinished());
            refill();
        }
        QVERIFY(!cleared.isEmpty());

        QSet<QByteArray> stored;
        const QRegularExpression whole(QStringLiteral("^R\\d{6}$"));
        const QRegularExpression torn(QStringLiteral("^(R\\d{0,5})?$"));
        for (const QString &name : dir.entryList({QStringLiteral("*.pol")}, QDir::Files)) {
            const QByteArray bytes = w.read(name);
            for (const QByteArray &line : bytes.split('\n')) {
                const QString text =
                    QString::fromLatin1(line.endsWith('\r') ? line.chopped(1) : line);
                if (whole.match(text).hasMatch())
                    stored.insert(line.chopped(1));
                else
                    QVERIFY2(torn.match(text).hasMatch(), qPrintable("glued or damaged: " + text));
            }
        }
        for (const QByteArray &r : std::as_const(cleared))
            QVERIFY2(stored.contains(r), r.constData());
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], kPollChild) == 0)
        return runPollingProgram(QString::fromLocal8Bit(argv[2]));
    TestCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crash.moc"
