#include "PollFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

class TestPollScreen : public QObject {
    Q_OBJECT

private slots:
    void shouldKeepStoredRecordsAndCloseWhenDeviceGoesMidTransfer()
    {
        PollFixture f;
        f.terminal.setRecords({"present"});
        f.terminal.setTransferOverride("\x02R1\r\nR2\r\nR3\r\nR4\r\nR5\r\n");
        f.terminal.setReplyCharDelayMs(30);
        bool gone = false;
        // No click: the screen must close by itself at its next check.
        QVERIFY(f.run([] { return false; }, 8000,
                      [&] {
                          if (!gone && f.listItems().size() >= 2) {
                              f.terminal.hangUp();
                              gone = true;
                          }
                      }));
        const QStringList items = f.listItems();
        QVERIFY(items.size() >= 2 && items.size() < 5);
        QByteArray expectedFile;
        for (const QString &r : items)
            expectedFile += r.toLatin1() + "\r\n";
        QCOMPARE(f.readFile(f.todaysFile()), expectedFile);
        QVERIFY(!f.terminal.receivedBytes().contains("!6^\r"));
        QCOMPARE(f.dialogs.shown.size(), 1); // one message, not one per check
        QVERIFY(f.dialogs.shown.first().startsWith("plain|Corvane|Errore sulla porta COM"));
        QCOMPARE(f.window->windowTitle(), QStringLiteral("PDT"));
        QVERIFY(f.state.pollStopRequested);
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
        QCOMPARE(f.readFile(f.todaysFile()), QByteArray("R1\r\nR2\r\nR3\r\n"));
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
        QStringList seen;
        auto closeWhenStored = [&](bool expectRecord) {
            auto *poll = qobject_cast<PollScreen *>(QApplication::activeModalWidget());
            QVERIFY(poll);
            QCOMPARE(poll->objectName(), QStringLiteral("poll"));
            auto *list = poll->findChild<QListView *>("List1");
            seen << QString::number(list->model()->rowCount());
            auto *timer = new QTimer(poll);
            QObject::connect(timer, &QTimer::timeout, poll, [&f, poll, expectRecord] {
                if (!expectRecord || f.terminal.clearCount() >= 1)
                    poll->findChild<QPushButton *>("Command2")->click();
            });
            timer->start(20);
        };
        QTimer::singleShot(100, [&] { closeWhenStored(true); });
        f.window->Command10_Click();
        QVERIFY(!f.state.pollStopRequested);
        QCOMPARE(f.readFile(PollStore::fileName(QDate::currentDate())), QByteArray("A\r\n"));

        QTimer::singleShot(100, [&] { closeWhenStored(false); });
        f.window->Command10_Click();
        QVERIFY(!f.state.pollStopRequested);
        QCOMPARE(seen, (QStringList{"0", "0"})); // every opening starts with an empty list
    }
};

QTEST_MAIN(TestPollScreen)
#include "tst_pollscreen.moc"
