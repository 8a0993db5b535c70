// Polling: the poll file, the splitting of a transfer, the cycle on the line and its screen.
#include "DataTable.h"
#include "PollFixture.h"
#include "SimFixture.h"
#include "polling/RecordSplitter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <optional>

namespace {

const QDate kDay(2026, 12, 5);

} // namespace

class TestPolling : public QObject {
    Q_OBJECT

private slots:
    // Records go after what the file holds, byte for byte, on a line of their own even when
    // a killed run of an older version left a torn record behind. Past a committed length
    // published for the file lies what a killed store never synced: it goes. Readers learn
    // the new committed length.
    void shouldAppendRecordsByteForByte_data()
    {
        // stale: the mark was written for a removed file that held the same inode number
        // ("removed"), or for what the file held before a copy rewrote it in place.
        const auto row = table<QByteArray, qint64, QString, QList<QByteArray>, QByteArray>(
            {"before", "committed", "stale", "records", "after"});
        row("three records", "OLD\r\n", -1, "", {"A", "B", "C"}, "OLD\r\nA\r\nB\r\nC\r\n");
        row("empty record", "", -1, "", {"", "X"}, "\r\nX\r\n");
        row("high bytes, NUL and separators untouched", "", -1, "", {{"\xe0\x80\xff\0;\t\"q\"", 9}},
            {"\xe0\x80\xff\0;\t\"q\"\r\n", 11});
        row("killed mid-record", "TOR", -1, "", {"A"}, "TOR\r\nA\r\n");
        row("killed before LF", "TORN\r", -1, "", {"A"}, "TORN\r\nA\r\n");
        row("torn past the committed length", "A\r\nTOR", 3, "", {"B"}, "A\r\nB\r\n");
        row("unsynced records past it", "A\r\nB\r\n", 3, "", {"B"}, "A\r\nB\r\n");
        row("committed length beyond the file", "A\r\n", 9, "", {"B"}, "A\r\nB\r\n");
        row("restored file, the removed one's mark on its inode", "A1\r\nR2\r\nR3\r\n", 4,
            "removed", {"B2"}, "A1\r\nR2\r\nR3\r\nB2\r\n");
        row("restored file copied over the marked one", "X1\r\nR2\r\n", 4, "rewritten", {"B2"},
            "X1\r\nR2\r\nB2\r\n");
    }

    void shouldAppendRecordsByteForByte()
    {
        QFETCH(QByteArray, before);
        QFETCH(qint64, committed);
        QFETCH(QString, stale);
        QFETCH(QList<QByteArray>, records);
        QFETCH(QByteArray, after);
        WorkDir w;
        const QString path = w.dir.filePath("05-12-26.pol");
        if (!before.isEmpty())
            QVERIFY(w.write("05-12-26.pol", stale == "rewritten" ? "A1\r\n" : before));
        if (committed >= 0) {
            CommitMark::FileId id = CommitMark::fileIdOf(path);
            id.birth -= stale == "removed" ? 1000000000 : 0;
            QVERIFY((CommitMark{"0123456789abcdef", id, committed, 0}).writeFor(path));
        }
        if (stale == "rewritten")
            QVERIFY(w.write("05-12-26.pol", before));
        PollStore store(w.dir, [] { return kDay; });
        for (const QByteArray &r : records)
            QVERIFY(store.append(r));
        QVERIFY(store.commit());
        QCOMPARE(w.read("05-12-26.pol"), after);
        QCOMPARE(
            CommitMark::readFor(path, CommitMark::fileIdOf(path)).value_or(CommitMark{}).length,
            after.size());
    }

    void shouldSplitTransferAtMidnight()
    {
        WorkDir w;
        QList<QDate> days{QDate(2026, 12, 31), QDate(2026, 12, 31), QDate(2027, 1, 1)};
        PollStore store(w.dir, [&] { return days.takeFirst(); });
        QVERIFY(store.append("late"));
        QVERIFY(store.append("later"));
        QVERIFY(store.append("early"));
        QVERIFY(store.commit());
        QCOMPARE(w.read("31-12-26.pol"), QByteArray("late\r\nlater\r\n"));
        QCOMPARE(w.read("01-01-27.pol"), QByteArray("early\r\n"));
    }

    void shouldSplitTransferIntoRecords_data()
    {
        const auto row =
            table<QByteArray, QList<QByteArray>, QByteArray>({"transfer", "records", "fragment"});
        row("CR LF", "A\r\nB\r\n", {"A", "B"}, "");
        row("LF before CR", "X\n\r", {"X"}, "");
        row("CR only", "P\rQ\r", {"P", "Q"}, "");
        row("empty records", "\r\r", {"", ""}, "");
        row("trailing fragment", "A\r\nB", {"A"}, "B");
        row("TAB terminator", "P\tQ\t", {}, "P\tQ\t");
        row("NUL and high bytes", {"\xe0\x00\xff\r\n", 5}, {{"\xe0\x00\xff", 3}}, "");
    }

    void shouldSplitTransferIntoRecords()
    {
        QFETCH(QByteArray, transfer);
        RecordSplitter splitter;
        QList<QByteArray> records;
        splitter.feed(transfer, [&](const QByteArray &r) { records << r; });
        QTEST(records, "records");
        QTEST(splitter.fragment(), "fragment");
    }

    void shouldFailTheCommitWhenTheDiskFillsUp()
    {
        WorkDir w;
        PollStore store(w.dir, [] { return kDay; });
        QVERIFY(store.append("0123456789"));
        QVERIFY(store.commit());
        {
            // The buffered write fails part way, as on a full disk.
            const auto limit = fileSizeLimit(16);
            store.append("this line does not fit");
            QVERIFY(!store.commit());
        }
        // The failure belongs to that transfer only.
        QVERIFY(store.append("next"));
        QVERIFY(store.commit());
    }

    // A transfer that does not make it leaves every poll file as it was at once, not at the
    // next open, which for yesterday's file never comes: a failed write (the disk full) cuts
    // it back; one broken off goes aside whole, replacing an earlier one, until a complete
    // transfer is stored.
    void shouldLeaveFilesAsTheyWereWhenATransferFails_data()
    {
        const auto row = table<QString, bool>({"end", "midnight"});
        row("write fails", "fail", false);
        row("write fails past midnight", "fail", true);
        row("broken off", "break", false);
        row("broken off past midnight", "break", true);
    }

    void shouldLeaveFilesAsTheyWereWhenATransferFails()
    {
        QFETCH(QString, end);
        QFETCH(bool, midnight);
        WorkDir w;
        QDate day(2026, 12, 31);
        PollStore store(w.dir, [&] { return day; });
        QVERIFY(store.append("OLD") && store.commit());
        QVERIFY(store.append("EARLIER") && store.setAside());
        QVERIFY(store.append("A"));
        if (midnight)
            day = day.addDays(1);
        {
            const auto limit = fileSizeLimit(end == "fail" ? 16 : 1 << 20);
            store.append("B, longer than what the disk takes");
            QCOMPARE(end == "fail" ? store.commit() : store.setAside(), end == "break");
        }
        QCOMPARE(w.read("31-12-26.pol"), QByteArray("OLD\r\n"));
        QCOMPARE(w.read("01-01-27.pol"), midnight ? QByteArray() : QByteArray("<missing>"));
        QCOMPARE(w.setAside(), end == "fail" ? QByteArray("EARLIER\r\n")
                                             : QByteArray("A\r\nB, longer than what the disk "
                                                          "takes\r\n"));
        QVERIFY(store.commit()); // nothing stored: nothing superseded
        QVERIFY(!w.setAside().isEmpty());
        QVERIFY(store.append("C") && store.commit());
        QCOMPARE(w.setAside(), QByteArray());
        QCOMPARE(w.pollFiles(), QByteArray("OLD\r\nC\r\n"));
    }

    // Two stores on one file (two terminals polled into one folder) take turns: the second
    // fails its transfer, so its terminal keeps the records, rather than cut the first's back.
    void shouldLeaveAFileInUseToItsStore()
    {
        WorkDir w;
        PollStore first(w.dir, [] { return kDay; }), second(w.dir, [] { return kDay; });
        QVERIFY(first.append("A") && !second.append("B") && !second.commit() && first.commit());
        QVERIFY(second.append("B") && second.commit());
        QCOMPARE(w.read("05-12-26.pol"), QByteArray("A\r\nB\r\n"));
    }

    // Turn after turn: the bytes and the least pause before each (ms, from the first " "),
    // what is stored before the terminal is told to forget it, and what the screen shows:
    // the one light ever lit (Label1 "Off Line", Label2 "On Line"), then Label3 and Label4
    // at the end where given.
    void shouldPollTurnByTurn_data()
    {
        const auto row =
            table<QString, QByteArray, QList<double>, QStringList, QString, QStringList>(
                {"fault", "traffic", "gaps", "items", "light", "labels"});
        row("records", "", " 0!?^\r 0!7^\r 0!6^\r ",
            {100, 100, 100, 100, 100, 500, 100, 200, 100, 100, 100, 2100, 100, 200, 100, 100, 100,
             1000},
            {"8001234567890;00001", "8001234567891;00002"}, "Label2", {});
        // " " 100 "0", one second for the answer, the single space, then the idle second.
        row("terminal off", "silent", " 0  0  0 ", {100, 1100, 1000, 100, 1100, 1000, 100, 1100},
            {}, "Label1", {"", ""});
        row("empty memory", "", " 0!?^\r 0!?^\r", {}, {}, "Label2",
            {"Terminale Compatibile", "Nessun record in memoria"});
        // What follows the last CR is a record too. The leading byte may be any; the others are
        // stored as they came.
        row("unterminated tail",
            QString::fromLatin1("transfer=XA\r\n\xe0"
                                "B\r\nC"),
            " 0!?^\r 0!7^\r 0!6^\r", {}, {"A", QString::fromUtf8("àB"), "C"}, "Label2", {});
    }

    void shouldPollTurnByTurn()
    {
        QFETCH(QByteArray, traffic);
        QFETCH(QStringList, items);
        PollFixture f;
        QList<QByteArray> records;
        for (const QString &item : items)
            records << item.toLatin1();
        f.terminal.setRecords(records);
        QFETCH(QString, fault);
        putFault(f.terminal, fault);
        QByteArray atClear;
        f.terminal.setOnClear([&] { atClear = f.read(f.todaysFile()); });
        QString lights;
        QVERIFY(f.run([&] { return f.terminal.receivedBytes().size() >= traffic.size(); }, 10000,
                      [&] {
                          for (const char *light : {"Label1", "Label2"})
                              if (f.visible(light) && !lights.contains(light))
                                  lights += light;
                      }));
        f.terminal.setOnClear({});
        const auto log = f.terminal.received();
        QCOMPARE(bytesOf(log).left(traffic.size()), traffic);
        QFETCH(QList<double>, gaps);
        const QString gapsOff = checkGaps(log, gaps, 80);
        QVERIFY2(gapsOff.isEmpty(), qPrintable(gapsOff));

        const QByteArray stored = records.isEmpty() ? "<missing>" : records.join("\r\n") + "\r\n";
        QCOMPARE(records.isEmpty() ? f.read(f.todaysFile()) : atClear, stored);
        QCOMPARE(f.terminal.clearCount(), records.isEmpty() ? 0 : 1);
        QCOMPARE(f.listItems(), items);
        if (!items.isEmpty())
            QCOMPARE(f.text("La1"), QStringLiteral(" %1 Records").arg(items.size()));
        QCOMPARE(f.screen->windowTitle(),
                 fault == "silent" ? "Polling" : "Scarico dati su File: " + f.todaysFile());
        QTEST(lights, "light");
        QFETCH(QStringList, labels);
        if (!labels.isEmpty())
            QCOMPARE((QStringList{f.text("Label3"), f.text("Label4")}), labels);
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void shouldKeepTerminalMemoryWhenFileCannotBeWritten_data()
    {
        const auto row = table<bool>({"sizeLimit"}); // else a directory where the file would be
        row("file cannot be opened", false);
        row("write fails at the sync", true);
    }

    void shouldKeepTerminalMemoryWhenFileCannotBeWritten()
    {
        QFETCH(bool, sizeLimit);
        PollFixture f;
        f.terminal.setRecords({"A", "B"});
        // Lets one byte through, as a disk that fills up mid-write would.
        std::optional<decltype(fileSizeLimit(1))> limit;
        if (sizeLimit)
            limit.emplace(fileSizeLimit(1));
        else
            QVERIFY(f.dir.mkdir(f.todaysFile()));
        bool repaired = false;
        QVERIFY(f.run([&] { return f.terminal.clearCount() >= 1; }, 12000,
                      [&] {
                          if (!repaired && f.text("La1") == PollScreen::kWriteErrorText) {
                              QVERIFY(f.terminal.records().size() == 2);
                              QVERIFY(!f.terminal.receivedBytes().contains("!6^\r"));
                              if (sizeLimit)
                                  limit.reset();
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

    // The terminal keeps its memory when the transfer never ends (what came up to the limit
    // is stored, the tail is not) or when the wake-up before the clear goes unanswered.
    void shouldNotClearWhenUnsure_data()
    {
        // A transfer that never ends is never complete: its records are kept aside.
        const auto row = table<QString, int, bool>({"fault", "stored", "aside"});
        row("transfer never ends", "endless", 20, true);
        row("wake-up before the clear unanswered", "mute", 1, false);
    }

    void shouldNotClearWhenUnsure()
    {
        QFETCH(QString, fault);
        QFETCH(int, stored);
        QFETCH(bool, aside);
        PollFixture f;
        f.screen->cycle().setTransferLimit(100);
        QByteArray transfer("\x02");
        for (int i = 10; i < (fault == "endless" ? 40 : 11); ++i)
            transfer += "R" + QByteArray::number(i) + "\r\n"; // endless: 150 bytes
        f.terminal.setRecords({"present"});
        f.terminal.setTransferOverride(transfer);
        // Until the next turn, well after a clear would have gone out.
        const auto next = [&] {
            return f.terminal.receivedBytes().count("!?^\r") >= 2 ||
                   f.terminal.receivedBytes().count(" 0") >= 4;
        };
        QVERIFY(f.run(next, 10000, [&] {
            if (fault == "mute" && f.listItems().size() == 1)
                f.terminal.setSilent(true);
        }));
        QCOMPARE(f.listItems().size(), stored);
        QCOMPARE(f.listItems().last(), "R" + QString::number(9 + stored));
        QCOMPARE(f.read(f.todaysFile()).count("\r\n"), aside ? 0 : stored);
        QCOMPARE(f.setAside().count("\r\n"), aside ? stored : 0);
        QVERIFY(!f.terminal.receivedBytes().contains("!6^\r"));
        QCOMPARE(f.terminal.records(), QList<QByteArray>{"present"});
    }

    void shouldLockListDuringTransferAndOfferItAfter()
    {
        PollFixture f;
        f.terminal.setRecords({"present"});
        f.terminal.setTransferOverride("\x02R1\r\nR2\r\nR3\r\n");
        f.terminal.setReplyCharDelayMs(40);
        int midTransferSamples = 0;
        bool everUnlockedMidTransfer = false;
        QVERIFY(f.run([&] { return f.terminal.clearCount() >= 1; }, 8000,
                      [&] {
                          const int n = f.listItems().size();
                          if (n >= 1 && n < 3) {
                              ++midTransferSamples;
                              everUnlockedMidTransfer |= f.enabled("Command2") ||
                                                         f.enabled("Command4") ||
                                                         f.enabled("List1");
                          }
                      }));
        QVERIFY(midTransferSamples > 0);
        QVERIFY(!everUnlockedMidTransfer);
        QVERIFY(f.enabled("Command2") && f.enabled("Command4") && f.enabled("List1"));

        auto *list = f.screen->findChild<QListView *>("List1");
        f.screen->List1_Click(list->model()->index(2, 0));
        QCOMPARE(f.text("La1"), QString::fromUtf8("Record N°  3"));
        f.dialogs.answers = {false};
        f.screen->Command4_Click();
        QCOMPARE(list->model()->rowCount(), 3);
        f.dialogs.answers = {true};
        f.screen->Command4_Click();
        QCOMPARE(list->model()->rowCount(), 0);
        QCOMPARE(f.text("La1"), QStringLiteral("Records"));
        QCOMPARE(f.read(f.todaysFile()), QByteArray("R1\r\nR2\r\nR3\r\n"));
        f.screen->Command4_Click(); // empty list: no question
        const QString ask =
            QStringLiteral("question| Corvane|Rimuovere i dati presenti nella lista ?");
        QCOMPARE(f.dialogs.shown, (QStringList{ask, ask}));
    }

    void shouldTreatFrameCloseLikeUscitaAndIgnoreEsc()
    {
        PollFixture f;
        f.terminal.setSilent(true);
        bool escSent = false, closeSent = false;
        qint64 closedAtUs = 0;
        QVERIFY(f.run([] { return false; }, 6000,
                      [&] {
                          const int n = f.terminal.receivedBytes().size();
                          if (!escSent && n >= 3) {
                              QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                              QApplication::sendEvent(f.screen.get(), &esc);
                              escSent = true;
                          } else if (escSent && !closeSent && n >= 6) {
                              QVERIFY(f.screen->isVisible()); // Esc did nothing
                              closedAtUs = sim::TerminalSim::nowUs();
                              f.screen->close();
                              closeSent = true;
                          }
                      }));
        QVERIFY(closeSent);
        // It closes at the cycle's next check, within about one turn.
        const double closedAfterMs = (sim::TerminalSim::nowUs() - closedAtUs) / 1000.0;
        QVERIFY2(closedAfterMs < 2300, qPrintable(QString::number(closedAfterMs)));
        QVERIFY(f.state.pollStopRequested); // the main window clears it, not the screen
    }

    void shouldCloseAtOnceWhenCycleIsNotRunning()
    {
        PollFixture f;
        f.screen->show();
        f.screen->Command2_Click(); // before the start timer has run the cycle
        QVERIFY(!f.screen->isVisible());
        QCOMPARE(f.terminal.receivedBytes(), QByteArray());
    }

    void shouldOpenModallyFromMainWindowAndResetStopFlag()
    {
        MainFixture f;
        f.terminal.setRecords({"A"});
        f.start();
        for (int turn = 0; turn < 2; ++turn) {
            int rowsAtOpening = -1;
            OnModal modal(
                [&](QWidget *poll) {
                    rowsAtOpening = poll->findChild<QListView *>("List1")->model()->rowCount();
                },
                [&] { return f.terminal.clearCount() >= 1; });
            f.window->Command10_Click();
            QCOMPARE(modal.opened, QStringLiteral("poll"));
            QCOMPARE(rowsAtOpening, 0); // every opening starts with an empty list
            QVERIFY(!f.state.pollStopRequested);
            QCOMPARE(f.pollFiles(), QByteArray("A\r\n"));
        }
    }
};

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
