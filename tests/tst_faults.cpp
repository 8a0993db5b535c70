// Every command that talks to the terminal, on a good line and on faulty ones; the polling
// screen losing its device or fed garbage; ports that cannot be used.
#include "DataTable.h"
#include "PollFixture.h"
#include "ProgFixture.h"
#include "SimFixture.h"
#include "widgets/ClockScreen.h"

#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

// A reply of the terminal in place of its own; nullopt: its own.
using Reply = std::optional<QByteArray>;

int portMessages(const QStringList &shown)
{
    return int(shown.filter(QLatin1String("porta COM")).size());
}

// Clicks a main window button ("Command5"), a programming screen one ("progra Command3d13")
// or the clock screen's "Invia" ("setdat"). False when the clock screen closed.
bool act(ProgFixture &f, const QString &action)
{
    if (action == "setdat") {
        ClockScreen clock(f.state, showTerminalClock(f.state.ConfigString), f.screen.get());
        clock.Command3d1_Click();
        return clock.isVisible();
    }
    if (action.startsWith("progra "))
        f.click(qPrintable(action.mid(7)));
    else
        QMetaObject::invokeMethod(f.window.get(), qPrintable(action + "_Click"));
    return true;
}

// Equal, or starting with expected's text when that ends in "*".
template <typename Text> bool matches(const Text &actual, const Text &expected)
{
    return expected.endsWith('*') ? actual.startsWith(expected.chopped(1)) : actual == expected;
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    // Faults as putFault() takes them, set once the screens are open; "closed": the port was
    // closed under the main window. A "*" ends a traffic or message that is only a prefix.
    void shouldRunEachCommandWhateverTheLine_data()
    {
        const auto row = table<QString, QString, QList<bool>, QByteArray, QStringList>(
            {"action", "fault", "answers", "traffic", "shown"});
        for (const char *h : {"Command2", "Command5", "Command7", "Command8", "Command10"}) {
            row(h + QString(", device lost"), h, "gone", {}, {}, {shown::kDeviceGone});
            row(h + QString(", port closed"), h, "closed", {}, {}, {shown::kPortError});
        }
        const QByteArray status(" 0!?^\r");
        const QByteArray clear = status + " 0!6^\r";
        const QByteArray count = status + " 0!7^\r";
        const QString ask = "question|Corvane|Cancellare il contenuto della memoria ?";
        const QString cleared = "critical|Corvane|Memoria Cancellata";
        const QString counted = shown::onMain("information", "%1 Records Presenti in Memoria !");
        const QStringList noneCounted = {"beep", "beep", counted.arg(0)};
        row("clear", "Command2", "", {true}, clear, {ask, cleared});
        row("clear refused", "Command2", "", {false}, status, {ask});
        row("clear, silent terminal", "Command2", "silent", {}, " 0", {"beep", shown::kNoAnswer});
        row("clear, wrong wake answer", "Command2", "wake=20", {}, " 0", {shown::kCommError});
        row("clear, no status line goes on", "Command2", "status=", {true}, clear,
            {shown::kNoAnswer, ask, cleared});
        row("count", "Command7", "", {}, count, {"beep", "beep", counted.arg(3)});
        row("count, CR only not counted", "Command7", "terminator=CR", {}, count, noneCounted);
        row("count, leading character only", "Command7", "transfer=\x02", {}, count, noneCounted);
        row("count, nothing after frame", "Command7", "transfer=", {}, count,
            {"critical|Corvane|Memoria Vuota"});
        row("firmware", "Command5", "", {}, status, {shown::kFirmware});
        row("firmware, no status line", "Command5", "status=", {}, status,
            {"beep", "beep", shown::kNoAnswer});
        row("firmware, wrong wake answer", "Command5", "wake=30", {}, " 0", {shown::kCommError});
        // The status line only proves presence: noise will do, and without it the second
        // wake-up decides.
        row("firmware, noise", "Command5", "noise", {}, status,
            {shown::onMain("information", "Versione Firmware: *")});

        const QString program = "progra Command3d13";
        const QString noDate = "question| Corvane|Eliminare il campo DATA/ORA ?";
        const QByteArray noDateSent = status + " 0!V^\r";
        row("program, never answers", program, "silent", {}, " 0",
            {noDate, "beep", shown::kNoAnswerOnScreen});
        row("program, answers something else", program, "wake=58", {}, " 0",
            {noDate, shown::kCommErrorOnScreen});
        row("program, no status line", program, "status=", {}, noDateSent,
            {noDate, "beep", "beep", shown::kNoAnswerOnScreen, shown::kDone});
        row("program, bare CR", program, "status=\r", {}, noDateSent, {noDate, shown::kDone});
        row("program, noise", program, "noise", {}, noDateSent, {noDate, shown::kDone});
        // The short form skips the port check: the lost device is found by its wake-up.
        row("program short form, device gone", "progra Command9", "gone", {}, {},
            {"question| Corvane|Settare lo scanner in modo On-Line ?", shown::kDeviceGone});
        row("clock, noise", "setdat", "noise", {}, status + " 0!*", {shown::kDone});

        // The cable pulled while the program waits in a step: told once, and the controls
        // come back.
        row("firmware, cut in the wake-up", "Command5", "silent,cut= 0*1", {}, {}, {});
        row("firmware, cut in the status reply", "Command5", "slow=60,cut=!?^\r*1", {}, {}, {});
        row("count, cut in the transfer", "Command7", "slow=60,cut=!7^\r*1", {}, {}, {});
        row("clear, cut in the second wake-up", "Command2", "slow=60,cut= 0*2", {}, {}, {});
        row("program, cut in the status reply", program, "slow=60,cut=!?^\r*1", {}, {}, {});
        row("program, cut in the command", program, "slow=60,cut= 0*2", {}, {}, {});
        row("clock, cut in the status probe", "setdat", "slow=60,cut=!?^\r*1", {}, {}, {});
        row("clock, cut in the frame", "setdat", "slow=60,cut= 0*2", {}, {}, {});
    }

    void shouldRunEachCommandWhateverTheLine()
    {
        QFETCH(QString, action);
        QFETCH(QString, fault);
        QFETCH(QByteArray, traffic);
        QFETCH(QStringList, shown);
        ProgFixture f;
        f.terminal.setRecords({"8001234567890;00001", "8001234567891;00002", "X"});
        if (fault == "closed")
            f.state.Comm1.setPortOpen(false);
        const auto cable = putFault(f.terminal, fault == "closed" ? QString() : fault);
        const QString before = f.setIndicators();
        QFETCH(QList<bool>, answers);
        f.dialogs.answers = answers;
        QThread::msleep(20);
        const bool stillOpen = act(f, action);

        const bool onMain = !action.contains(QLatin1Char(' ')) && action != "setdat";
        const bool portDown = fault == "gone" || fault == "closed";
        if (onMain)
            QCOMPARE(f.enabledControls(), portDown ? kPortDown : kAll);
        else
            QVERIFY(f.unlocked());
        if (cable) {
            cable->wait();
            QCOMPARE(portMessages(f.dialogs.shown), 1);
            QVERIFY(stillOpen || !f.dialogs.shown.contains(shown::kDone));
            return;
        }
        // Only a last message may be a prefix, so the joined messages can be matched whole.
        QCOMPARE(f.dialogs.shown.size(), shown.size());
        QVERIFY2(matches(f.dialogs.shown.join('\n'), shown.join('\n')),
                 qPrintable(f.dialogs.shown.join('\n')));
        // The last byte may be in flight.
        f.terminal.waitForReceived(traffic.size() - traffic.endsWith('*'), 500);
        QVERIFY2(matches(f.terminal.receivedBytes(), traffic),
                 f.terminal.receivedBytes().toHex().constData());
        QCOMPARE(f.window->windowTitle() == "PDT", portDown);
        if (onMain) {
            QCOMPARE(f.child<QLabel>("CC")->text(), QString());
            QVERIFY(!f.child<QLabel>("Label3")->isVisible());
            // The second wake-up comes 200 ms after the status query's own 200 ms.
            if (traffic.count(' ') == 2)
                QVERIFY(gapsMs(f.terminal.received())[5] >= 400 - kReadJitterMs);
        } else if (action != "setdat") {
            QCOMPARE(f.setIndicators() == before, !f.dialogs.shown.contains(shown::kDone));
        }
    }

    // The polling screen closes by itself and clears nothing. A transfer the cable cut is kept
    // aside, out of the poll file, since the terminal sends it all again; one that ended before
    // the cable went is in the file.
    void shouldKeepStoredRecordsWhenPollingLosesTheDevice_data()
    {
        // The cable goes once the list holds that many items (5: once the file holds them);
        // -1: during the status reply.
        const auto row = table<int>({"items"});
        row("status reply", -1);
        row("mid-transfer", 2);
        row("before the clear", 5);
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
                          const bool now = items < 0 ? f.terminal.receivedBytes().contains("!?^\r")
                                           : items == 5 ? f.read(f.todaysFile()).count("\r\n") == 5
                                                        : f.listItems().size() >= items;
                          if (!gone && now) {
                              f.terminal.hangUp();
                              gone = true;
                          }
                      }));
        QCOMPARE(portMessages(f.dialogs.shown), 1);
        const QStringList stored = f.listItems();
        QVERIFY(stored.size() >= qMax(items, 0) && stored.size() <= 5);
        const QByteArray storedLines =
            stored.isEmpty() ? QByteArray() : (stored.join("\r\n") + "\r\n").toLatin1();
        const bool ended = items == 5;
        QCOMPARE(f.read(f.todaysFile()), stored.isEmpty() ? QByteArray("<missing>")
                                         : ended          ? storedLines
                                                          : QByteArray());
        QCOMPARE(f.setAside(), ended ? QByteArray() : storedLines);
        QCOMPARE(f.terminal.clearCount(), 0);
        QCOMPARE(f.window->windowTitle(), QStringLiteral("PDT"));
        QVERIFY(f.state.pollStopRequested);
    }

    // Random bytes, NULs and high bytes in place of the polling replies: no crash, no wait
    // beyond its limit, no message.
    void shouldTakeGarbageOnTheLine_data()
    {
        const auto row = table<Reply, Reply>({"status", "transfer"});
        row("status line", randomBytes(3000, false) + '\r', {});
        row("endless status line", randomBytes(Exchange::kMaxLineLength + 100, false), {});
        row("transfer", {}, randomBytes(3000, true));
    }

    void shouldTakeGarbageOnTheLine()
    {
        QFETCH(Reply, status);
        QFETCH(Reply, transfer);
        PollFixture f;
        f.terminal.setRecords({"present"});
        f.terminal.setStatusReplyOverride(status);
        f.terminal.setTransferOverride(transfer);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(f.run([&] { return f.terminal.receivedBytes().count("!?^\r") >= 2; }, 15000));
        QVERIFY(clock.elapsed() < 12000);
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    // A second program on the same device, whatever name reaches it, is refused and told
    // who holds it when that is another process; the first goes on working.
    void shouldLeaveThePortToTheFirstProgram_data()
    {
        const auto row = table<QString>({"first"});
        row("a window of this program", "window");
        row("corvane-poll through another link", "poller");
    }

    void shouldLeaveThePortToTheFirstProgram()
    {
        QFETCH(QString, first);
        MainFixture f;
        ChildProcess poller;
        if (first == "window")
            f.start();
        else
            QVERIFY(holdThroughAnotherLink(poller, CORVANE_POLL, f.terminal, f.dir));
        ScriptedDialogs dialogs;
        ProgramState state{f.dir, dialogs};
        MainWindow second(state);
        second.Form_Load();
        if (first == "window") {
            QCOMPARE(dialogs.shown, QStringList{shown::kPortError});
            f.window->Command5_Click();
            QCOMPARE(f.dialogs.shown, QStringList{shown::kFirmware});
        } else {
            const QString holder = QRegularExpression::escape(
                shown::kPortError + "\r\nPorta in uso da corvane-poll (processo " +
                QString::number(poller.processId()));
            QVERIFY2(
                dialogs.shown.size() == 1 &&
                    QRegularExpression("^" + holder + "[,)]").match(dialogs.shown[0]).hasMatch(),
                qPrintable(dialogs.shown.join('\n')));
            QCOMPARE(poller.state(), QProcess::Running);
        }
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
