// The programming screen, and the clock screen it opens.
#include "DataTable.h"
#include "ProgFixture.h"
#include "SimFixture.h"
#include "core/clock/TerminalClock.h"
#include "widgets/ClockScreen.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace {

const QString kDefaults =
    QStringLiteral("Check1 Check10 Check14 Check15 Check20 Check23 Check29 Check30 Check4");
// Status positions 2-12 reporting a value other than the default in every group but speed.
const QByteArray kNonDefaults("15:?ABEINTV");

// The names of the set indicators, sorted as ProgFixture::setIndicators() gives them.
QString setIn(const IndicatorStates &states)
{
    QStringList set;
    for (auto it = states.cbegin(); it != states.cend(); ++it)
        if (it.value())
            set << it.key();
    set.sort();
    return set.join(QLatin1Char(' '));
}

const QDateTime kPcClock(QDate(2026, 12, 6), QTime(15, 0, 42));

// The clock screen over the programming screen, which read the terminal's clock as
// 25-03 23:05 from a status line of statusLength characters; the PC's clock stands at a
// full hour.
struct ClockFixture : ProgFixture {
    std::unique_ptr<ClockScreen> clock;

    explicit ClockFixture(int statusLength = 64)
    {
        terminal.setClock({25, 3, 23, 5});
        state.ConfigString = terminal.statusLine().left(statusLength);
        screen = std::make_unique<ProgrammingScreen>(state, window.get());
        clock = std::make_unique<ClockScreen>(state, showTerminalClock(state.ConfigString),
                                              screen.get(), [] { return kPcClock; });
        clock->show();
        clock->activateWindow();
        if (!QTest::qWaitForWindowActive(clock.get()))
            qWarning("the clock screen did not become active: focus checks will fail");
    }
    QPushButton *button(const char *name) const { return clock->findChild<QPushButton *>(name); }
    QLineEdit *box(int i) const
    {
        return clock->findChild<QLineEdit *>(QStringLiteral("Text%1").arg(i));
    }
    QString boxes() const
    {
        return QStringList{box(1)->text(), box(2)->text(), box(3)->text(), box(4)->text()}.join(
            '|');
    }
    QString focused() const
    {
        QWidget *w = QApplication::focusWidget();
        return w && clock->isVisible() ? w->objectName() : QString();
    }
};

} // namespace

class TestProgramming : public QObject {
    Q_OBJECT

private slots:
    void shouldDecodeOneIndicatorPerReportedGroup_data()
    {
        const auto row = table<QByteArray, QString>({"line", "set"});
        row("defaults", "T239?@CDIMSU", kDefaults);
        // Position 8 "E" shows TAB whatever position 2 holds.
        row("every other value", "T15:xABEJNOV",
            "Check12 Check13 Check16 Check17 Check19 Check22 Check26 Check3 Check31");
        // Lower case never matches: "i" leaves the default 9600.
        row("CR, case-sensitive", "T14<?@cDiMTu",
            "Check11 Check14 Check15 Check2 Check20 Check23 Check28 Check30 Check8");
        row("short line", "T1",
            "Check10 Check14 Check15 Check2 Check20 Check23 Check29 Check30 Check4");
        row("empty line", "", kDefaults);
    }

    void shouldDecodeOneIndicatorPerReportedGroup()
    {
        QFETCH(QByteArray, line);
        QTEST(setIn(decodeConfigString(line + "UCSE")), "set");
    }

    // Every button of the screen asks first: on No nothing is sent and nothing changes; on Yes
    // the terminal receives the value's code, paced as the protocol wants, and afterwards
    // reports the setting the screen shows.
    void shouldSetTheTerminalToTheButtonsValueOnYes_data()
    {
        // "set": every indicator shown afterwards, and "question": what is asked, where given.
        const auto row =
            table<QByteArray, char, QString, QString>({"button", "code", "set", "question"});
        const QList<QPair<const char *, char>> buttons{
            {"Command2", '2'},    {"Command1", '1'},    {"Command18", 'E'},  {"Command5", '9'},
            {"Command4", ':'},    {"Command6", ';'},    {"Command7", '<'},   {"Command11", '3'},
            {"Command12", '4'},   {"Command13", '5'},   {"Command3d4", 'J'}, {"Command3d3", 'K'},
            {"Command3d2", 'I'},  {"Command3d1", 'L'},  {"Command15", '@'},  {"Command14", 'A'},
            {"Command3d14", 'U'}, {"Command3d13", 'V'}, {"Command16", 'C'},  {"Command17", 'B'},
            {"Command3d7", 'O'},  {"Command3d8", 'P'},  {"Command3d9", 'Q'}, {"Command3d10", 'R'},
            {"Command3d11", 'S'}, {"Command3d12", 'T'}, {"Command3d6", 'M'}, {"Command3d5", 'N'},
            {"Command10", '>'},   {"Command9", '?'},    {"Command19", 'D'},  {"Command20", '8'}};
        // What the screen shows afterwards, unreported groups included.
        const QMap<QByteArray, QString> shownAfter{
            {"Command3d14",
             "Check12 Check13 Check16 Check17 Check20 Check22 Check28 Check3 Check30"},
            {"Command10",
             "Check12 Check13 Check16 Check17 Check20 Check22 Check28 Check3 Check31 Check6"},
            {"Command20",
             "Check1 Check10 Check14 Check15 Check18 Check20 Check23 Check29 Check30 Check4 "
             "Check6"},
            // "File" clears the TAB indicator, without claiming another terminator.
            {"Command19",
             "Check12 Check13 Check16 Check18 Check20 Check22 Check28 Check3 Check31"}};
        const QString speedWarning =
            "\r\nATTENZIONE!!!\r\nLo scanner non potra' lavorare con questo programma\r\n"
            "cambiando la velocita di comunicazione.\r\nSara' necessario resettare la "
            "velocita' <9600> dal manuale di programmazione!!!\r\n";
        const QString clears = "\r\nIl comando cancellera' anche i dati in memoria !!!";
        const QMap<QByteArray, QString> questions{
            {"Command3d4", "Velocita' di comunicazione <2400> ?" + speedWarning},
            {"Command3d2", "Velocita' di comunicazione <9600> ?"},
            {"Command18",
             "Lo Scanner non SCARICA correttamente con questo\r\nprogramma se si "
             "utilizza il terminatore (TAB)\r\n\r\nConfigurare con terminatore (TAB) ?"},
            {"Command3d7", "Impostare il Formato Quantita' a <1> carattere ?" + clears},
            {"Command20", "Ripristinare tutti i parametri di DEFAULT ?" + clears},
            {"Command9", "Settare lo scanner in modo On-Line ?"}};
        for (const auto &[button, code] : buttons)
            row(button, button, code, shownAfter.value(button), questions.value(button));
    }

    void shouldSetTheTerminalToTheButtonsValueOnYes()
    {
        QFETCH(QByteArray, button);
        QFETCH(char, code);
        QFETCH(QString, question);
        ProgFixture f(kNonDefaults);
        // Off-line, on-line and file mode are not reported, so they skip the second wake-up,
        // and ask with the screen unlocked; the full form locks it, the clock button included.
        const bool shortForm =
            QList<QByteArray>{"Command10", "Command9", "Command19"}.contains(button);
        QList<bool> lockedWhileAsking;
        f.dialogs.onShow = [&](const QString &entry) {
            if (entry.startsWith("question"))
                lockedWhileAsking << !f.screen->findChild<QWidget *>("Command3d16")->isEnabled();
        };
        const QString before = f.setIndicators();
        f.dialogs.answers = {false};
        f.click(button);
        QCOMPARE(f.setIndicators(), before);
        QVERIFY(f.unlocked());
        f.click(button);
        QCOMPARE(lockedWhileAsking, QList<bool>(2, !shortForm));
        const QString asked = f.dialogs.shown.value(0);
        QCOMPARE(f.dialogs.shown, (QStringList{asked, asked, shown::kDone}));
        if (!question.isEmpty())
            QCOMPARE(asked, shown::onScreen("question", question));
        QVERIFY(f.unlocked());

        const QByteArray traffic =
            (shortForm ? " 0!?^\r" : " 0!?^\r 0") + ("!" + QByteArray(1, code) + "^\r");
        f.terminal.waitForReceived(traffic.size(), 500); // the last byte may still be in flight
        const auto got = f.terminal.received();
        QCOMPARE(bytesOf(got), traffic);
        // Pacing, on one button of each form: the status query's CR, 200 ms and the reply, the
        // 100 ms pause, then the code's frame at 100 ms a byte.
        if (button == "Command3d14" || button == "Command10") {
            const QString off = checkGaps(got.mid(got.size() - 4), {100, 100, 100}, 40);
            QVERIFY2(off.isEmpty(), qPrintable(off));
            QVERIFY(gapsMs(got)[5] >= 300 - kReadJitterMs);
        }

        QFETCH(QString, set);
        if (!set.isEmpty())
            QCOMPARE(f.setIndicators(), set);
        // What the screen shows, the terminal reports when asked again.
        const IndicatorStates reported = decodeConfigString(f.terminal.statusLine());
        for (const QString &shown : f.setIndicators().split(' '))
            QVERIFY2(reported.value(shown, true), qPrintable(shown));
    }

    // On a usable port the clock screen opens without a word to the terminal (see
    // shouldShowTheSentClockOnTheProgrammingScreen); on a lost device it does not open.
    void shouldNotOpenTheClockScreenOnALostDevice()
    {
        ProgFixture f;
        f.terminal.hangUp();
        OnModal modal;
        f.click("Command3d16");
        QTest::qWait(100);
        QCOMPARE(modal.opened, QString());
        QCOMPARE(f.dialogs.shown.size(), 1);
        QCOMPARE(f.terminal.receivedBytes(), QByteArray());
    }

    void shouldShowTerminalClock_data()
    {
        // Status positions 13-16, and the date and time shown.
        const auto row = table<QByteArray, QString>({"clockChars", "shown"});
        row("25-03 23:05", "\x55\x33\x53\x35", "25-03 23:05");
        row("minutes 59 and 00", "\x31\x31\x30\x89", "01-01 00:59");
        row("below 0 shows 00", "\x20\x31\x30\x30", "00-01 00:00");
        row("higher bits ignored", "\x75\x81\xb5\xff", "05-11 05:415");
        row("units above 9", "\x4a\x31\x30\x30", "110-01 00:00");
        row("line ends in the hours", "\x55\x33\x53", "25-03 23");
        row("no clock", "", " ");
    }

    void shouldShowTerminalClock()
    {
        QFETCH(QByteArray, clockChars);
        const ClockTexts texts = showTerminalClock("T239?@CDIMSU" + clockChars);
        QTEST(texts.date + ' ' + texts.time, "shown");
    }

    void shouldOpenOnTheClockReadWithTheProgrammingScreen()
    {
        ClockFixture f;
        f.terminal.setClock({1, 1, 0, 0}); // changed since: the screen does not ask again
        QCOMPARE(f.boxes(), QStringLiteral("25|03|23|05"));
        QCOMPARE(f.clock->findChild<QLabel *>("Label4")->text(), QStringLiteral("06-12 15:00"));
        QCOMPARE(f.focused(), QStringLiteral("Command3d1"));
        QStringList order;
        for (int i = 0; i < 7; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << f.focused();
        }
        QCOMPARE(order.join(' '),
                 QStringLiteral("sistema Command3d3 Text1 Text2 Text4 Text3 Command3d1"));

        // Enter walks day, month, hours, minutes, selecting each; in the minutes it sends,
        // which here stops at the empty day box.
        f.box(1)->clear();
        f.box(1)->setFocus();
        for (const char *next : {"Text2", "Text3", "Text4"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QTest::qWait(1);
            QCOMPARE(f.focused(), QLatin1String(next));
            auto *box = static_cast<QLineEdit *>(QApplication::focusWidget());
            QCOMPARE(box->selectedText(), box->text());
        }
        QTest::keyClick(f.box(4), Qt::Key_Return);
        QCOMPARE(f.focused(), QStringLiteral("Text1"));
        QCOMPARE(f.terminal.receivedBytes(), QByteArray());
    }

    void shouldCheckBoxesThenSetTheClock_data()
    {
        // The action is what is typed (day|month|hours|minutes) or a fault; after it the
        // boxes, the focus (none when the screen closed) and the frame sent.
        const auto row =
            table<QString, QString, QString, QByteArray>({"action", "after", "focus", "frame"});
        row("25 March 14:05", "25|03|14|05", "25|03|14|05", "", "\x25\x03\x14\x05");
        row("1 January 00:05, padded", "1|1|00|5", "01|01|00|05", "", {"\x01\x01\x00\x05", 4});
        row("29 February, no leap rule", "29|2|10|30", "29|02|10|30", "", "\x29\x02\x10\x30");
        row("PC clock at a full hour", "sistema", "06|12|15|00", "", {"\x06\x12\x15\x00", 4});
        row("35 emptied while typing", "35|3|10|30", "|3|10|30", "Text1", {});
        row("letters ignored", "x|3|1a0|30", "|3|10|30", "Text1", {});
        row("30 February", "30|02|10|30", "|02|10|30", "Text1", {});
        row("31 April", "31|4|10|30", "|04|10|30", "Text1", {});
        row("month 0", "5|0|10|30", "5||10|30", "Text2", {});
        row("hour 24", "5|3|24|30", "5|3||30", "Text3", {});
        row("hours of one digit", "5|3|9|7", "5|3|9|7", "Text3", {});
        row("device gone", "gone", "25|03|23|05", "Command3d1", {});
        // Fields the status line did not report are asked for, not taken from a neighbour.
        row("line ends in the hours", "short", "25|03|23|", "Text4", {});
        row("terminal off", "silent", "25|03|23|05", "Command3d1", " 0");
    }

    void shouldCheckBoxesThenSetTheClock()
    {
        QFETCH(QString, action);
        QFETCH(QByteArray, frame);
        ClockFixture f(action == "short" ? 15 : 64);
        if (action == "sistema") {
            f.clock->sistema_Click();
        } else if (action == "gone") {
            f.terminal.hangUp();
            f.clock->sistema_Click();
            QCOMPARE(f.dialogs.shown.size(), 1);
        } else if (action == "silent" || action == "short") {
            f.terminal.setSilent(action == "silent");
            QTest::mouseClick(f.button("Command3d1"), Qt::LeftButton);
        } else {
            const QStringList typed = action.split('|');
            for (int i = 0; i < 4; ++i) {
                f.box(i + 1)->clear();
                QTest::keyClicks(f.box(i + 1), typed[i]);
            }
            f.clock->Command3d1_Click();
        }
        QTEST(f.boxes(), "after");
        QTEST(f.focused(), "focus");
        if (frame.size() < 4) {
            QCOMPARE(f.terminal.receivedBytes(), frame);
            QVERIFY(f.clock->isVisible());
            for (const char *name : {"Command3d1", "sistema", "Command3d3"})
                QVERIFY2(f.button(name)->isEnabled(), name);
            return;
        }
        QCOMPARE(f.dialogs.shown, QStringList{shown::kDone});
        const auto got = f.terminal.received();
        QCOMPARE(bytesOf(got), " 0!?^\r 0!" + frame + "^\r");
        // No code between "!" and the day: the empty write leaves a 200 ms gap.
        const QString off = checkGaps(got.mid(got.size() - 7), {200, 100, 100, 100, 100, 100}, 40);
        QVERIFY2(off.isEmpty(), qPrintable(off));

        // What it reports as sent is what the terminal now holds.
        const ClockTexts reread = showTerminalClock(f.terminal.statusLine());
        QCOMPARE(QStringList({reread.date, reread.time}),
                 QStringList({f.clock->sent().date, f.clock->sent().time}));
    }

    // The status line never comes, so the no-answer path lets the queued event run in the
    // middle of the exchange; the clock must still go out once, with the screen open.
    void shouldRunOneExchangeAtATime_data()
    {
        const auto row = table<QString>({"queued"});
        for (const char *what : {"Command3d1", "sistema", "Command3d3", "Enter", "Esc", "close"})
            row(what, what);
    }

    void shouldRunOneExchangeAtATime()
    {
        QFETCH(QString, queued);
        ClockFixture f;
        f.terminal.setStatusReplyOverride(QByteArray());
        ClockScreen *screen = f.clock.get();
        QTimer::singleShot(0, screen, [&] {
            if (queued == "Enter")
                QTest::keyClick(f.box(4), Qt::Key_Return);
            else if (queued == "Esc")
                QTest::keyClick(screen, Qt::Key_Escape);
            else if (queued == "close")
                screen->close();
            else
                f.button(qPrintable(queued))->click();
        });
        bool openWhenSent = false;
        f.dialogs.onShow = [&](const QString &entry) {
            if (entry == shown::kDone)
                openWhenSent = screen->isVisible();
        };
        f.clock->Command3d1_Click();
        const QByteArray traffic(" 0!?^\r 0!\x25\x03\x23\x05^\r");
        f.terminal.waitForReceived(traffic.size(), 500); // the last byte may still be in flight
        QCOMPARE(f.terminal.receivedBytes(), traffic);
        QCOMPARE(f.dialogs.shown,
                 (QStringList{"beep", "beep", shown::kNoAnswerOnScreen, shown::kDone}));
        QVERIFY(openWhenSent);
        QCOMPARE(screen->result(), int(QDialog::Accepted));
    }

    void shouldShowTheSentClockOnTheProgrammingScreen()
    {
        ProgFixture f;
        f.terminal.setClock({25, 3, 23, 5});
        f.state.ConfigString = f.terminal.statusLine();
        f.screen = std::make_unique<ProgrammingScreen>(f.state, f.window.get());
        // What a screen reader says of a panel: the value, not only what the panel is.
        const auto spoken = [&](const char *panel) {
            QWidget *w = f.screen->findChild<QLabel *>(panel);
            return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
        };
        QCOMPARE(spoken("Panel3D11"), QStringLiteral("Data terminale 25-03"));
        QCOMPARE(spoken("Panel3D14"), QStringLiteral("Ora terminale 23:05"));
        OnModal modal([](QWidget *w) { w->findChild<QPushButton *>("sistema")->click(); });
        f.click("Command3d16");
        QCOMPARE(modal.opened, QStringLiteral("setdat"));
        // The PC's clock, whatever it was, went out as day, month, hours and minutes in BCD.
        QVERIFY(f.terminal.waitForReceived(15, 500));
        const QByteArray got = f.terminal.receivedBytes();
        QVERIFY2(got.size() == 15 && got.startsWith(" 0!?^\r 0!") && got.endsWith("^\r"),
                 got.toHex().constData());
        const QString sent = QString::fromLatin1(got.mid(9, 4).toHex());
        QCOMPARE(spoken("Panel3D11"), "Data terminale " + sent.left(2) + '-' + sent.mid(2, 2));
        QCOMPARE(spoken("Panel3D14"), "Ora terminale " + sent.mid(4, 2) + ':' + sent.mid(6, 2));
    }
};

QTEST_MAIN(TestProgramming)
#include "tst_programming.moc"
