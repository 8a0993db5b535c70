#include "ProgFixture.h"
#include "SimFixture.h"
#include "clock/ClockScreen.h"
#include "clock/TerminalClock.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace {

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

class TestClock : public QObject {
    Q_OBJECT

private slots:
    void shouldShowTerminalClock_data()
    {
        QTest::addColumn<QByteArray>("clockChars"); // status positions 13-16
        QTest::addColumn<QString>("shown");         // date and time
        QTest::newRow("25-03 23:05") << QByteArray("\x55\x33\x53\x35") << "25-03 23:05";
        QTest::newRow("minutes 59 and 00") << QByteArray("\x31\x31\x30\x89") << "01-01 00:59";
        QTest::newRow("below 0 shows 00") << QByteArray("\x20\x31\x30\x30") << "00-01 00:00";
        QTest::newRow("higher bits ignored") << QByteArray("\x75\x81\xb5\xff") << "05-11 05:415";
        QTest::newRow("units above 9") << QByteArray("\x4a\x31\x30\x30") << "110-01 00:00";
        QTest::newRow("line ends in the hours") << QByteArray("\x55\x33\x53") << "25-03 23";
        QTest::newRow("no clock") << QByteArray() << " ";
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
        QTest::addColumn<QString>("action"); // typed day|month|hours|minutes, or a button
        QTest::addColumn<QString>("after");  // the boxes afterwards
        QTest::addColumn<QString>("focus");  // empty when the screen closed
        QTest::addColumn<QByteArray>("frame");
        const auto row = [](const char *name, const char *action, const char *after,
                            const char *focus, const QByteArray &frame = {}) {
            QTest::newRow(name) << action << after << focus << frame;
        };
        row("25 March 14:05", "25|03|14|05", "25|03|14|05", "", "\x25\x03\x14\x05");
        row("1 January 00:05, padded", "1|1|00|5", "01|01|00|05", "", {"\x01\x01\x00\x05", 4});
        row("29 February, no leap rule", "29|2|10|30", "29|02|10|30", "", "\x29\x02\x10\x30");
        row("PC clock at a full hour", "sistema", "06|12|15|00", "", {"\x06\x12\x15\x00", 4});
        row("35 emptied while typing", "35|3|10|30", "|3|10|30", "Text1");
        row("letters ignored", "x|3|1a0|30", "|3|10|30", "Text1");
        row("30 February", "30|02|10|30", "|02|10|30", "Text1");
        row("31 April", "31|4|10|30", "|04|10|30", "Text1");
        row("month 0", "5|0|10|30", "5||10|30", "Text2");
        row("hours of one digit", "5|3|9|7", "5|3|9|7", "Text3");
        row("device gone", "gone", "25|03|23|05", "Command3d1");
        // Fields the status line did not report are asked for, not taken from a neighbour.
        row("line ends in the hours", "short", "25|03|23|", "Text4");
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
        QTest::addColumn<QString>("queued");
        for (const char *what : {"Command3d1", "sistema", "Command3d3", "Enter", "Esc", "close"})
            QTest::newRow(what) << what;
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
        const ClockTexts sent = showTerminalClock(f.terminal.statusLine());
        QVERIFY(sent.date + sent.time != "25-0323:05"); // something was sent
        QCOMPARE(spoken("Panel3D11"), "Data terminale " + sent.date);
        QCOMPARE(spoken("Panel3D14"), "Ora terminale " + sent.time);
    }
};

QTEST_MAIN(TestClock)
#include "tst_clock.moc"
