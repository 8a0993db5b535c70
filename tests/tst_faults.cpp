#include "PollFixture.h"
#include "ProgFixture.h"
#include "SimFixture.h"
#include "clock/ClockScreen.h"

#include <QComboBox>
#include <QRandomGenerator>
#include <QTest>

namespace {

int portMessages(const QStringList &shown)
{
    return int(shown.filter(QLatin1String("porta COM")).size());
}

QByteArray randomBytes(int n, bool withCr)
{
    QByteArray bytes;
    QRandomGenerator random(n);
    while (bytes.size() < n) {
        const char c = char(random.bounded(256));
        if (withCr || c != '\r')
            bytes += c;
    }
    return bytes;
}

// The command of one screen: the main window's firmware, count or clear, the programming
// screen's "No Data/Ora" or the clock screen's send. False when the clock screen closed.
bool runOn(ProgFixture &f, const QString &screen)
{
    if (screen == "firmware")
        f.window->Command5_Click();
    else if (screen == "count")
        f.window->Command7_Click();
    else if (screen == "clear")
        f.window->Command2_Click();
    else if (screen == "program")
        f.click("Command3d13");
    if (screen != "clock")
        return true;
    ClockScreen clock(f.state, showTerminalClock(f.state.ConfigString), f.screen.get());
    clock.Command3d1_Click();
    return clock.isVisible();
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    // On every screen that talks to the terminal, the device lost in the middle of a step
    // (the operator is told once), or noise for the status line, which these screens only
    // take as a sign of life (the command goes on): the controls come back either way.
    void shouldGoOnAfterAFaultMidStep_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QByteArray>("after"); // traffic after which the cable goes; "": noise
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("traffic"); // how the noisy exchange begins
        QTest::newRow("main window, wake-up")
            << "firmware" << QByteArray(" 0") << 1 << QByteArray();
        QTest::newRow("main window, status reply")
            << "firmware" << QByteArray("!?^\r") << 1 << QByteArray();
        QTest::newRow("main window, count transfer")
            << "count" << QByteArray("!7^\r") << 1 << QByteArray();
        QTest::newRow("main window, clear") << "clear" << QByteArray(" 0") << 2 << QByteArray();
        QTest::newRow("programming, status reply")
            << "program" << QByteArray("!?^\r") << 1 << QByteArray();
        QTest::newRow("programming, command") << "program" << QByteArray(" 0") << 2 << QByteArray();
        QTest::newRow("clock, status probe") << "clock" << QByteArray("!?^\r") << 1 << QByteArray();
        QTest::newRow("clock, set-clock frame") << "clock" << QByteArray(" 0") << 2 << QByteArray();
        QTest::newRow("main window, noise")
            << "firmware" << QByteArray() << 0 << QByteArray(" 0!?^\r");
        QTest::newRow("programming, noise")
            << "program" << QByteArray() << 0 << QByteArray(" 0!?^\r 0!V^\r");
        QTest::newRow("clock, noise") << "clock" << QByteArray() << 0 << QByteArray(" 0!?^\r 0!");
    }

    void shouldGoOnAfterAFaultMidStep()
    {
        QFETCH(QString, screen);
        QFETCH(QByteArray, after);
        QFETCH(int, count);
        ProgFixture f;
        f.terminal.setRecords({"A", "B"});
        std::unique_ptr<QThread> cable;
        if (after.isEmpty()) {
            f.terminal.setStatusReplyOverride(randomBytes(500, false) + '\r');
        } else {
            // Slow replies, so the cable goes while the program is waiting in that step.
            f.terminal.setReplyCharDelayMs(60);
            if (after == " 0" && count == 1)
                f.terminal.setWakeReply(std::nullopt);
            cable = hangUpAfter(f.terminal, after, count, 120);
        }
        const bool stillOpen = runOn(f, screen);
        if (cable) {
            cable->wait();
            QCOMPARE(portMessages(f.dialogs.shown), 1);
            QVERIFY(stillOpen || !f.dialogs.shown.contains(shown::kDone));
        } else {
            QFETCH(QByteArray, traffic);
            QVERIFY(f.terminal.receivedBytes().startsWith(traffic));
            QCOMPARE(f.dialogs.shown.size(), screen == "program" ? 2 : 1);
            QVERIFY(f.dialogs.shown.last().startsWith(
                screen == "firmware" ? shown::onMain("information", "Versione Firmware: ")
                                     : shown::kDone));
        }
        QVERIFY(screen == "program" || screen == "clock"
                    ? f.unlocked()
                    : f.child<QWidget>("Command5")->isEnabled());
    }

    // The polling screen closes by itself, keeps what it stored and clears nothing.
    void shouldKeepStoredRecordsWhenPollingLosesTheDevice_data()
    {
        QTest::addColumn<int>("items"); // the cable goes once the list holds that many; -1:
                                        // during the status reply
        QTest::newRow("status reply") << -1;
        QTest::newRow("mid-transfer") << 2;
        QTest::newRow("before the clear") << 5;
    }

    void shouldKeepStoredRecordsWhenPollingLosesTheDevice()
    {
        QFETCH(int, items);
        PollFixture f;
        f.terminal.setRecords({"present"});
        f.terminal.setTransferOverride("\x02R1\r\nR2\r\nR3\r\nR4\r\nR5\r\n");
        f.terminal.setReplyCharDelayMs(30);
        bool gone = false;
        QVERIFY(f.run([] { return false; }, 8000,
                      [&] {
                          if (!gone && (items < 0 ? f.terminal.receivedBytes().contains("!?^\r")
                                                  : f.listItems().size() >= items)) {
                              f.terminal.hangUp();
                              gone = true;
                          }
                      }));
        QCOMPARE(portMessages(f.dialogs.shown), 1);
        const QStringList stored = f.listItems();
        QVERIFY(stored.size() >= qMax(items, 0) && stored.size() <= 5);
        QCOMPARE(f.read(f.todaysFile()), stored.isEmpty()
                                             ? QByteArray("<missing>")
                                             : (stored.join("\r\n") + "\r\n").toLatin1());
        QCOMPARE(f.terminal.clearCount(), 0);
        QCOMPARE(f.window->windowTitle(), QStringLiteral("PDT"));
        QVERIFY(f.state.pollStopRequested);
    }

    // Random bytes, NULs and high bytes in place of the polling replies: no crash, no wait
    // beyond its limit, no message.
    void shouldTakeGarbageOnTheLine_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("status line") << "status";
        QTest::newRow("endless status line") << "endless";
        QTest::newRow("transfer") << "transfer";
    }

    void shouldTakeGarbageOnTheLine()
    {
        QFETCH(QString, where);
        PollFixture f;
        f.terminal.setRecords({"present"});
        const QByteArray garbage = randomBytes(3000, where == "transfer");
        if (where == "status")
            f.terminal.setStatusReplyOverride(garbage + '\r');
        else if (where == "endless")
            f.terminal.setStatusReplyOverride(randomBytes(Exchange::kMaxLineLength + 100, false));
        else
            f.terminal.setTransferOverride(garbage);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(f.run([&] { return f.terminal.receivedBytes().count("!?^\r") >= 2; }, 15000));
        QVERIFY(clock.elapsed() < 12000);
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    // A comN that is not a device is refused, and whatever it points at is left untouched.
    void shouldRefuseAPortThatIsNotADevice()
    {
        MainFixture f;
        const QByteArray precious("operator's notes\r\n");
        QVERIFY(f.write("notes.txt", precious));
        QVERIFY(QFile::link(f.dir.filePath("notes.txt"), f.dir.filePath("com2")));
        QVERIFY(f.dir.mkdir("folder"));
        QVERIFY(QFile::link(f.dir.filePath("folder"), f.dir.filePath("com3")));
        f.write("portacom", "2\r\n");
        f.start();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("PDT"));
        f.child<QComboBox>("Combo1")->setCurrentIndex(2);
        f.window->Combo1_Click();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("PDT"));
        QCOMPARE(portMessages(f.dialogs.shown), 2);
        QCOMPARE(f.read("notes.txt"), precious);
        QVERIFY(QFileInfo(f.dir.filePath("folder")).isDir());
    }

    // A second program on the same port is told so; the first goes on working.
    void shouldLeaveThePortToTheFirstProgram()
    {
        MainFixture first;
        first.write("portacom", "1\r\n");
        first.start();
        ScriptedDialogs dialogs;
        ProgramState state{first.dir, dialogs};
        MainWindow second(state);
        second.Form_Load();
        QCOMPARE(dialogs.shown, QStringList{shown::kPortError});
        first.window->Command5_Click();
        QCOMPARE(first.dialogs.shown, QStringList{shown::kFirmware});
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
