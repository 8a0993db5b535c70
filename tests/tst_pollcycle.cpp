#include "PollFixture.h"
#include "SimFixture.h"

#include <QTest>

#include <optional>

namespace {

constexpr double kTolMs = 80.0;
const QByteArray kFullTurn(" 0!?^\r 0!7^\r 0!6^\r ");

} // namespace

class TestPollCycle : public QObject {
    Q_OBJECT

private slots:
    void shouldFetchStoreAndClearWithProtocolPacing()
    {
        PollFixture f;
        f.terminal.setRecords({"8001234567890;00001", "8001234567891;00002"});
        QVERIFY(
            f.run([&] { return f.terminal.receivedBytes().size() >= kFullTurn.size(); }, 10000));

        const auto log = f.terminal.received();
        QCOMPARE(bytesOf(log).left(kFullTurn.size()), kFullTurn);
        // Minimum gap before each byte of the turn (ms), from " " to the next turn's " ".
        const QList<double> expected{100, 100, 100,  100, 100, 500, 100, 200, 100,
                                     100, 100, 2100, 100, 200, 100, 100, 100, 1000};
        const QString gapsOff = checkGaps(log, expected, kTolMs);
        QVERIFY2(gapsOff.isEmpty(), qPrintable(gapsOff));

        QCOMPARE(f.read(f.todaysFile()),
                 QByteArray("8001234567890;00001\r\n8001234567891;00002\r\n"));
        QCOMPARE(f.listItems(), (QStringList{"8001234567890;00001", "8001234567891;00002"}));
        QCOMPARE(f.text("La1"), QStringLiteral(" 2 Records"));
        QCOMPARE(f.terminal.clearCount(), 1);
        QCOMPARE(f.screen->windowTitle(), "Scarico dati su File: " + f.todaysFile());
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void shouldFlashOffLineWhenTerminalNeverAnswers()
    {
        PollFixture f;
        f.terminal.setSilent(true);
        bool sawOffLine = false, sawOnLine = false;
        QVERIFY(f.run([&] { return f.terminal.receivedBytes().size() >= 9; }, 8000,
                      [&] {
                          sawOffLine |= f.visible("Label1");
                          sawOnLine |= f.visible("Label2");
                      }));
        const auto log = f.terminal.received();
        QCOMPARE(bytesOf(log).left(9), QByteArray(" 0  0  0 "));
        // " " 100 "0", one second for the answer, the single space, then the idle second.
        const QList<double> expected{100, 1100, 1000, 100, 1100, 1000, 100, 1100};
        const QString gapsOff = checkGaps(log, expected, kTolMs);
        QVERIFY2(gapsOff.isEmpty(), qPrintable(gapsOff));
        QVERIFY(sawOffLine);
        QVERIFY(!sawOnLine);
        QCOMPARE(f.screen->windowTitle(), QStringLiteral("Polling"));
        QCOMPARE(f.text("Label3"), QString());
        QCOMPARE(f.text("Label4"), QString());
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void shouldOnlyAskStatusWhenMemoryIsEmpty()
    {
        PollFixture f;
        bool sawOnLine = false;
        QVERIFY(f.run([&] { return f.terminal.receivedBytes().count("!?^\r") >= 2; }, 8000,
                      [&] { sawOnLine |= f.visible("Label2"); }));
        QVERIFY(!f.terminal.receivedBytes().contains('7'));
        QVERIFY(sawOnLine);
        QCOMPARE(f.text("Label3"), QStringLiteral("Terminale Compatibile"));
        QCOMPARE(f.text("Label4"), QStringLiteral("Nessun record in memoria"));
        QCOMPARE(f.screen->windowTitle(), "Scarico dati su File: " + f.todaysFile());
        QCOMPARE(f.read(f.todaysFile()), QByteArray("<missing>"));
    }

    // What follows the last CR is a record too, stored before the terminal is told to forget.
    void shouldStoreTheUnterminatedTailBeforeTheClear()
    {
        PollFixture f;
        f.terminal.setRecords({"present"}); // the status must report a non-empty memory
        // The leading character may be any byte; the others are stored as they came.
        f.terminal.setTransferOverride("XA\r\n\xe0"
                                       "B\r\nC");
        QByteArray atClear;
        f.terminal.setOnClear([&] { atClear = f.read(f.todaysFile()); });
        QVERIFY(f.run([&] { return f.terminal.clearCount() >= 1; }, 8000));
        f.terminal.setOnClear({});
        QCOMPARE(atClear, QByteArray("A\r\n\xe0"
                                     "B\r\nC\r\n"));
        QCOMPARE(f.listItems(), (QStringList{"A", QString::fromUtf8("àB"), "C"}));
        QCOMPARE(f.text("La1"), QStringLiteral(" 3 Records"));
    }

    void shouldKeepTerminalMemoryWhenFileCannotBeWritten_data()
    {
        QTest::addColumn<bool>("sizeLimit"); // else a directory where the file would be
        QTest::newRow("file cannot be opened") << false;
        QTest::newRow("write fails at the sync") << true;
    }

    void shouldKeepTerminalMemoryWhenFileCannotBeWritten()
    {
        QFETCH(bool, sizeLimit);
        PollFixture f;
        f.terminal.setRecords({"A", "B"});
        // Lets one byte through, as a disk that fills up mid-write would.
        std::optional<FileSizeLimit> limit;
        if (sizeLimit)
            limit.emplace(1);
        else
            QVERIFY(f.dir.mkdir(f.todaysFile()));
        bool repaired = false;
        QVERIFY(f.run([&] { return f.terminal.clearCount() >= 1; }, 12000,
                      [&] {
                          if (!repaired && f.text("La1") == PollScreen::kWriteErrorText) {
                              QVERIFY(f.terminal.records().size() == 2);
                              QVERIFY(!f.terminal.receivedBytes().contains("!6^\r"));
                              if (sizeLimit)
                                  limit->lift();
                              else
                                  QVERIFY(f.dir.rmdir(f.todaysFile()));
                              repaired = true;
                          }
                      }));
        QVERIFY(repaired);
        // Fetched again on the next turn, stored, and only then cleared.
        QCOMPARE(f.read(f.todaysFile()), QByteArray("A\r\nB\r\n"));
        QCOMPARE(f.listItems(), (QStringList{"A", "B", "A", "B"}));
        QCOMPARE(f.text("La1"), QStringLiteral(" 4 Records"));
        const QByteArray traffic = f.terminal.receivedBytes();
        QCOMPARE(traffic.count("!7^\r"), 2);
        QCOMPARE(traffic.count("!6^\r"), 1);
        QVERIFY(traffic.indexOf("!6^\r") > traffic.lastIndexOf("!7^\r"));
    }

    void shouldKeepTerminalMemoryWhenTransferNeverEnds()
    {
        PollFixture f;
        f.screen->cycle().setTransferLimit(100);
        QByteArray endless("\x02");
        for (int i = 10; i < 40; ++i)
            endless += "R" + QByteArray::number(i) + "\r\n"; // 150 bytes, past the limit
        f.terminal.setRecords({"present"});
        f.terminal.setTransferOverride(endless);
        QVERIFY(f.run([&] { return f.text("La1") == " 20 Records"; }, 8000));
        // Everything up to the limit is stored, the tail is not, and nothing is cleared.
        QCOMPARE(f.listItems().size(), 20);
        QCOMPARE(f.listItems().last(), QStringLiteral("R29"));
        QCOMPARE(f.read(f.todaysFile()).count("\r\n"), 20);
        QVERIFY(!f.terminal.receivedBytes().contains("!6^\r"));
    }

    void shouldNotClearWhenWakeUpBeforeClearingFails()
    {
        PollFixture f;
        f.terminal.setRecords({"A"});
        bool muted = false;
        QVERIFY(f.run([&] { return muted && f.terminal.receivedBytes().endsWith(" 0"); }, 8000,
                      [&] {
                          // Silence the terminal once the transfer is stored.
                          if (!muted && f.listItems().size() == 1) {
                              f.terminal.setSilent(true);
                              muted = true;
                          }
                      }));
        QVERIFY(!f.terminal.receivedBytes().contains("!6^\r"));
        QCOMPARE(f.terminal.records().size(), 1);
        QCOMPARE(f.read(f.todaysFile()), QByteArray("A\r\n"));
    }
};

QTEST_MAIN(TestPollCycle)
#include "tst_pollcycle.moc"
