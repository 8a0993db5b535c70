// Polling: the poll file, the splitting of a transfer, the cycle on the line and its screen.
#include "DataTable.h"
#include "PollFixture.h"
#include "commit/PollerState.h"
#include "core/polling/RecordSplitter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListView>
#include <QTest>

#include <optional>

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
        // repeated: of the last transfer's records, those that came again and were not stored.
        const auto row =
            table<QByteArray, qint64, QString, QList<QByteArray>, QByteArray, qsizetype>(
                {"before", "committed", "stale", "records", "after", "repeated"});
        row("three records", "OLD\r\n", -1, "", {"A", "B", "C"}, "OLD\r\nA\r\nB\r\nC\r\n", 0);
        row("empty record", "", -1, "", {"", "X"}, "\r\nX\r\n", 0);
        row("high bytes, NUL and separators untouched", "", -1, "", {{"\xe0\x80\xff\0;\t\"q\"", 9}},
            {"\xe0\x80\xff\0;\t\"q\"\r\n", 11}, 0);
        row("killed mid-record", "TOR", -1, "", {"A"}, "TOR\r\nA\r\n", 0);
        row("killed before LF", "TORN\r", -1, "", {"A"}, "TORN\r\nA\r\n", 0);
        // "<break>": the transfer so far breaks off and is set aside; "<midnight>": the day
        // changes, and the transfer stays in the file of the day it began; "<commit>": the
        // transfer is complete; "<clear>": the terminal may now be told to forget it;
        // "<restart>": a new store takes over.
        row("killed mid-record, the next transfer broken off", "TOR", -1, "", {"X", "<break>", "A"},
            "TOR\r\nA\r\n", 0);
        row("a transfer past midnight", "", -1, "", {"A", "<midnight>", "B"}, "A\r\nB\r\n", 0);
        row("torn past the committed length", "A\r\nTOR", 3, "", {"B"}, "A\r\nB\r\n", 0);
        row("unsynced records past it", "A\r\nB\r\n", 3, "", {"B"}, "A\r\nB\r\n", 0);
        row("committed length beyond the file", "A\r\n", 9, "", {"B"}, "A\r\nB\r\n", 0);
        row("restored file, the removed one's mark on its inode", "A1\r\nR2\r\nR3\r\n", 4,
            "removed", {"B2"}, "A1\r\nR2\r\nR3\r\nB2\r\n", 0);
        row("restored file copied over the marked one", "X1\r\nR2\r\n", 4, "rewritten", {"B2"},
            "X1\r\nR2\r\nB2\r\n", 0);
        // A transfer stored but not cleared comes again first: not stored twice, by this store
        // or after a restart; once the clear may have gone, whatever comes is stored.
        row("not cleared", "", -1, "", {"A", "B", "<commit>", "A", "B", "C"}, "A\r\nB\r\nC\r\n", 2);
        row("not cleared, then a restart", "", -1, "",
            {"A", "B", "<commit>", "<restart>", "A", "B", "C"}, "A\r\nB\r\nC\r\n", 2);
        row("clear may have gone", "", -1, "", {"A", "B", "<commit>", "<clear>", "A", "B", "C"},
            "A\r\nB\r\nA\r\nB\r\nC\r\n", 0);
        row("clear may have gone, then a restart", "", -1, "",
            {"A", "B", "<commit>", "<clear>", "<restart>", "A", "B", "C"},
            "A\r\nB\r\nA\r\nB\r\nC\r\n", 0);
    }

    void shouldAppendRecordsByteForByte()
    {
        QFETCH(QByteArray, before);
        QFETCH(qint64, committed);
        QFETCH(QString, stale);
        QFETCH(QList<QByteArray>, records);
        QFETCH(QByteArray, after);
        WorkDir w;
        const QString path = w.dir.filePath("06-12-26.pol");
        if (!before.isEmpty())
            QVERIFY(w.write("06-12-26.pol", stale == "rewritten" ? "A1\r\n" : before));
        if (committed >= 0) {
            FileId id = FileId::at(path);
            id.birth -= stale == "removed" ? 1000000000 : 0;
            QVERIFY((CommitMark{"0123456789abcdef", id, committed, 0}).writeFor(path));
        }
        if (stale == "rewritten")
            QVERIFY(w.write("06-12-26.pol", before));
        QDate day = kToday;
        std::optional<PollStore> store(std::in_place, w.dir, [&] { return day; });
        const QMap<QByteArray, bool (PollStore::*)()> steps{{"<break>", &PollStore::setAside},
                                                            {"<commit>", &PollStore::commit},
                                                            {"<clear>", &PollStore::clearMayGo}};
        for (const QByteArray &r : records) {
            if (r == "<midnight>")
                day = day.addDays(1);
            else if (r == "<restart>")
                store.emplace(w.dir, [&] { return day; });
            else
                QVERIFY(steps.contains(r) ? (*store.*steps[r])() : store->append(r));
        }
        QVERIFY(store->commit());
        QCOMPARE(w.read("06-12-26.pol"), after);
        QCOMPARE(CommitMark::readFor(path, FileId::at(path)).value_or(CommitMark{}).length,
                 after.size());
        QTEST(store->repeated(), "repeated");
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

    // A transfer that does not make it leaves every poll file as it was at once, not at the
    // next open, which for yesterday's file never comes: a failed write (the disk full) cuts
    // it back; one broken off goes aside whole, replacing an earlier one, until a complete
    // transfer is stored. A file cut short by hand under a transfer: nothing that lost bytes
    // is committed, and the cut-back never pads the file out again.
    void shouldLeaveFilesAsTheyWereWhenATransferFails_data()
    {
        // left: what the day's file holds then; after: every poll file once a transfer is stored.
        const auto row =
            table<QString, bool, QByteArray, QByteArray>({"end", "midnight", "left", "after"});
        row("write fails", "fail", false, "OLD\r\n", "OLD\r\nC\r\n");
        row("write fails past midnight", "fail", true, "OLD\r\n", "OLD\r\nC\r\n");
        row("broken off", "break", false, "OLD\r\n", "OLD\r\nC\r\n");
        row("broken off past midnight", "break", true, "OLD\r\n", "OLD\r\nC\r\n");
        row("file cut short under it", "cut", false, "OL", "OL\r\nC\r\n");
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
            // Cut: past the store's buffer, so that it is in the file already.
            store.append(end == "cut" ? QByteArray(300 * 1024, 'x')
                                      : "B, longer than what the disk takes");
            if (end == "cut")
                QVERIFY(QFile::resize(w.dir.filePath("31-12-26.pol"), 2));
            QCOMPARE(end == "break" ? store.setAside() : store.commit(), end == "break");
        }
        QTEST(w.read("31-12-26.pol"), "left");
        QCOMPARE(w.read("01-01-27.pol"), QByteArray("<missing>"));
        QCOMPARE(w.setAside(), end != "break" ? QByteArray("EARLIER\r\n")
                                              : QByteArray("A\r\nB, longer than what the disk "
                                                           "takes\r\n"));
        QVERIFY(store.commit()); // nothing stored: nothing superseded
        QVERIFY(!w.setAside().isEmpty());
        QVERIFY(store.append("C") && store.commit());
        QCOMPARE(w.setAside(), QByteArray());
        QTEST(w.pollFiles(), "after");
    }

    // Two stores on one file (two terminals polled into one folder) take turns: the second
    // fails its transfer, so its terminal keeps the records, rather than cut the first's back.
    void shouldLeaveAFileInUseToItsStore()
    {
        WorkDir w;
        PollStore first(w.dir, [] { return kToday; }), second(w.dir, [] { return kToday; });
        QVERIFY(first.append("A") && !second.append("B") && !second.commit() && first.commit());
        QVERIFY(second.append("B") && second.commit());
        QCOMPARE(w.read("06-12-26.pol"), QByteArray("A\r\nB\r\n"));
    }

    // The cycle turn after turn: the bytes and the least pause before each (ms, from the
    // first " "), what is stored before the terminal is told to forget it, and what the
    // cycle reports.
    void shouldPollTurnByTurn_data()
    {
        const auto row = table<QString, QByteArray, QList<double>, QList<QByteArray>, QStringList>(
            {"fault", "traffic", "gaps", "records", "events"});
        // The status again just before the clear, which follows it at once.
        row("records", "", " 0!?^\r 0!7^\r 0!?^\r!6^\r ",
            {100,  100, 100, 100, 100, 500, 100, 200, 100, 100, 100,
             2100, 100, 200, 100, 100, 100, 0,   100, 100, 100, 1000},
            {"8001234567890;00001", "8001234567891;00002"},
            {"on", "records in 06-12-26.pol", "stored 2"});
        // " " 100 "0", one second for the answer, the single space, then the idle second.
        row("terminal off", "silent", " 0  0  0 ", {100, 1100, 1000, 100, 1100, 1000, 100, 1100},
            {}, {"off"});
        row("empty memory", "", " 0!?^\r 0!?^\r", {}, {}, {"on", "empty"});
        // What follows the last CR is a record too. The leading byte may be any; the others are
        // stored as they came.
        row("unterminated tail", QString::fromLatin1("transfer=XA\r\n\340B\r\nC"),
            " 0!?^\r 0!7^\r 0!?^\r!6^\r", {}, {"A", "\340B", "C"},
            {"on", "records in 06-12-26.pol", "stored 3"});
        // A transfer that does not reach the disk leaves the terminal's memory alone: it comes
        // again on the next turn, is stored, and only then cleared. The disk lets one byte
        // through, as one that fills up mid-write would, or a folder stands where the file
        // would be, until the first transfer has failed.
        const QStringList unstored{"on", "records in 06-12-26.pol", "unstored 2", "stored 2"};
        const QByteArray twice = " 0!?^\r 0!7^\r 0!?^\r 0!7^\r 0!?^\r!6^\r";
        row("disk full", "<disk full>", twice, {}, {"A", "B"}, unstored);
        row("file cannot be opened", "<folder in the way>", twice, {}, {"A", "B"}, unstored);
    }

    void shouldPollTurnByTurn()
    {
        QFETCH(QByteArray, traffic);
        QFETCH(QList<QByteArray>, records);
        QByteArray atClear;
        CycleFixture f;
        f.terminal.setRecords(records);
        QFETCH(QString, fault);
        std::optional<decltype(fileSizeLimit(1))> diskFull;
        if (fault == "<disk full>")
            diskFull.emplace(fileSizeLimit(1));
        if (fault == "<folder in the way>")
            QVERIFY(f.dir.mkdir("06-12-26.pol"));
        QObject::connect(&f.cycle, &PollCycle::transferEnded, [&](bool stored) {
            if (!stored) { // room again, the folder gone
                diskFull.reset();
                f.dir.rmdir("06-12-26.pol");
            }
        });
        putFault(f.terminal, fault.startsWith('<') ? QString() : fault);
        f.terminal.setOnClear([&] { atClear = f.read("06-12-26.pol"); });
        QVERIFY(f.run([&] { return f.terminal.receivedBytes().size() >= traffic.size(); }, 12000));
        const auto log = f.terminal.received();
        QCOMPARE(bytesOf(log).left(traffic.size()), traffic);
        QFETCH(QList<double>, gaps);
        const QString gapsOff = checkGaps(log, gaps, 80);
        QVERIFY2(gapsOff.isEmpty(), qPrintable(gapsOff));
        QCOMPARE(atClear, lines(records));
        QTEST(f.events, "events");
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    // The terminal keeps its memory when the transfer never ends (what came up to the limit
    // is kept aside, the tail is not) or when the wake-up before the clear goes unanswered.
    void shouldNotClearWhenUnsure_data()
    {
        const auto row = table<QString, bool>({"fault", "aside"});
        row("transfer never ends", "endless", true);
        row("wake-up before the clear unanswered", "mute", false);
    }

    void shouldNotClearWhenUnsure()
    {
        QFETCH(QString, fault);
        QFETCH(bool, aside);
        CycleFixture f;
        f.cycle.setTransferLimit(100);
        QByteArray transfer("\x02");
        for (int i = 10; i < (fault == "endless" ? 40 : 11); ++i)
            transfer += "R" + QByteArray::number(i) + "\r\n"; // endless: 150 bytes
        f.terminal.setRecords({"present"});
        f.terminal.setTransferOverride(transfer);
        f.cycle.setRecordSink([&](const QByteArray &) { f.terminal.setSilent(fault == "mute"); });
        // Until the next turn, well after a clear would have gone out.
        QVERIFY(f.run([&] { return f.terminal.receivedBytes().count(" 0") >= 4; }, 10000));
        const QByteArray stored = transfer.mid(1, 100);
        QCOMPARE(f.pollFiles(), aside ? QByteArray() : stored);
        QCOMPARE(f.setAside(), aside ? stored : QByteArray());
        QCOMPARE(f.terminal.receivedBytes().count("!6^\r"), 0);
        QCOMPARE(f.terminal.records().first(), QByteArray("present"));
    }

    // A terminal scanned during its transfers keeps its records, stored once each, and is
    // cleared only once it has stayed as it was from one turn's last status to the next.
    void shouldClearAScannedTerminalOnlyOnceItStaysAsItWas()
    {
        CycleFixture f;
        f.terminal.setRecords({"A"});
        int withheld = 0;
        f.cycle.setRecordSink([&](const QByteArray &record) {
            if (record == "A")
                f.terminal.addRecord("B"); // during the first transfer
        });
        QObject::connect(&f.cycle, &PollCycle::clearWithheld, [&] {
            if (++withheld == 1)
                f.terminal.addRecord("C"); // between the turns
        });
        QVERIFY(f.run([&] { return f.terminal.clearCount() >= 1; }, 25000));
        QCOMPARE(withheld, 2);
        QCOMPARE(f.read("06-12-26.pol"), QByteArray("A\r\nB\r\nC\r\n"));
    }

    // One turn on the screen: the light, the terminal's state, the caption and the records
    // listed as they come, with the list and the buttons locked until the transfer has ended;
    // the state file says what corvane-poll's would.
    void shouldShowTheTurnAndLockTheListDuringTheTransfer()
    {
        PollFixture f;
        f.terminal.setRecords({"present"});
        f.terminal.setTransferOverride("\x02R1\r\nR2\r\nR3\r\n");
        f.terminal.setReplyCharDelayMs(40);
        QSet<bool> enabledMidTransfer; // while some of the records are listed
        QVERIFY(f.run([&] { return f.terminal.clearCount() >= 1; }, 8000,
                      [&] {
                          if (f.listItems().size() == 1)
                              enabledMidTransfer << (f.enabled("Command2") ||
                                                     f.enabled("Command4") || f.enabled("List1"));
                      }));
        QCOMPARE(enabledMidTransfer, QSet<bool>{false});
        QVERIFY(f.enabled("Command2") && f.enabled("Command4") && f.enabled("List1"));
        QCOMPARE(f.lights, "Label2");
        QCOMPARE((QStringList{f.text("Label3"), f.text("Label4")}),
                 (QStringList{"Terminale Compatibile", "Presenti dati in memoria"}));
        QCOMPARE(f.screen->windowTitle(), "Scarico dati su File: 06-12-26.pol");
        QCOMPARE(f.listItems(), (QStringList{"R1", "R2", "R3"}));
        QCOMPARE(f.text("La1"), QStringLiteral(" 3 Records"));
        // The office sees this polling as it sees corvane-poll's.
        const auto state = PollerState::read(f.dir.filePath(".com1.state"));
        QVERIFY(state && state->program == "corvane" && state->state == "stopped");
        QCOMPARE(state->lastRecords, 3);

        auto *list = f.screen->findChild<QListView *>("List1");
        f.screen->List1_Click(list->model()->index(2, 0));
        QCOMPARE(f.text("La1"), QString::fromUtf8("Record N°  3"));
        f.dialogs.answers = {false, true};
        f.screen->Command4_Click();
        QCOMPARE(list->model()->rowCount(), 3);
        f.screen->Command4_Click();
        QCOMPARE(list->model()->rowCount(), 0);
        QCOMPARE(f.text("La1"), QStringLiteral("Records"));
        f.screen->Command4_Click(); // empty list: no question
        const QString ask =
            QStringLiteral("question| Corvane|Rimuovere i dati presenti nella lista ?");
        QCOMPARE(f.dialogs.shown, (QStringList{ask, ask}));

        // What the cycle reports on other turns.
        emit f.screen->cycle().statusRead(false, f.todaysFile());
        QCOMPARE(f.text("Label4"), QStringLiteral("Nessun record in memoria"));
        emit f.screen->cycle().transferEnded(false, 2);
        QCOMPARE(f.text("La1"), QString::fromLatin1(PollScreen::kWriteErrorText));
    }

    void shouldTreatFrameCloseLikeUscitaAndIgnoreEsc()
    {
        PollFixture f;
        f.terminal.setSilent(true);
        bool escSent = false;
        qint64 closedAtUs = 0; // none yet
        QVERIFY(f.run([] { return false; }, 6000,
                      [&] {
                          const int n = f.terminal.receivedBytes().size();
                          if (!escSent && n >= 3) {
                              QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                              QApplication::sendEvent(f.screen.get(), &esc);
                              escSent = true;
                          } else if (escSent && !closedAtUs && n >= 6) {
                              QVERIFY(f.screen->isVisible()); // Esc did nothing
                              closedAtUs = sim::TerminalSim::nowUs();
                              f.screen->close();
                          }
                      }));
        QVERIFY(closedAtUs);
        // It closes at the cycle's next check, within about one turn.
        const double closedAfterMs = (sim::TerminalSim::nowUs() - closedAtUs) / 1000.0;
        QVERIFY2(closedAfterMs < 2300, qPrintable(QString::number(closedAfterMs)));
        QVERIFY(f.state.pollStopRequested); // the main window clears it, not the screen
        QCOMPARE(f.lights, "Label1");
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
