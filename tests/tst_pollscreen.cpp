#include "PollFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

class TestPollScreen : public QObject {
    Q_OBJECT

private slots:
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

QTEST_MAIN(TestPollScreen)
#include "tst_pollscreen.moc"
