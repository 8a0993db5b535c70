#include "ProgFixture.h"
#include "SimFixture.h"

#include <QTest>
#include <QThread>

namespace {

const QString kDefaults =
    QStringLiteral("Check1 Check10 Check14 Check15 Check20 Check23 Check29 Check30 Check4");
// Status positions 2-12 reporting a value other than the default in every group but speed.
const QByteArray kNonDefaults("15:?ABEINTV");

// Indicator names in a fixed order, whatever order they were listed in.
QString sorted(const QString &names)
{
    QStringList list = names.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    list.sort();
    return list.join(QLatin1Char(' '));
}

QString setIn(const IndicatorStates &states)
{
    QStringList set;
    for (auto it = states.cbegin(); it != states.cend(); ++it)
        if (it.value())
            set << it.key();
    return sorted(set.join(QLatin1Char(' ')));
}

} // namespace

class TestProgramming : public QObject {
    Q_OBJECT

private slots:
    void shouldDecodeOneIndicatorPerReportedGroup_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("set");
        QTest::newRow("defaults") << QByteArray("T239?@CDIMSU") << kDefaults;
        // Position 8 "E" shows TAB whatever position 2 holds.
        QTest::newRow("every other value")
            << QByteArray("T15:xABEJNOV")
            << "Check12 Check13 Check16 Check17 Check19 Check22 Check26 Check3 Check31";
        // Lower case never matches: "i" leaves the default 9600.
        QTest::newRow("CR, case-sensitive")
            << QByteArray("T14<?@cDiMTu")
            << "Check11 Check14 Check15 Check2 Check20 Check23 Check28 Check30 Check8";
        QTest::newRow("short line")
            << QByteArray("T1") << QString(kDefaults).replace("Check1 ", "Check2 ");
        QTest::newRow("empty line") << QByteArray() << kDefaults;
    }

    void shouldDecodeOneIndicatorPerReportedGroup()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, set);
        QCOMPARE(setIn(decodeConfigString(line + "UCSE")), sorted(set));
    }

    void shouldAskFirstAndSendNothingOnNo_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QString>("question");
        const QString speedWarning =
            "\r\nATTENZIONE!!!\r\nLo scanner non potra' lavorare con questo programma\r\n"
            "cambiando la velocita di comunicazione.\r\nSara' necessario resettare la "
            "velocita' <9600> dal manuale di programmazione!!!\r\n";
        QTest::newRow("2400") << QByteArray("Command3d4")
                              << "Velocita' di comunicazione <2400> ?" + speedWarning;
        QTest::newRow("9600") << QByteArray("Command3d2")
                              << QString("Velocita' di comunicazione <9600> ?");
        QTest::newRow("TAB") << QByteArray("Command18")
                             << QString("Lo Scanner non SCARICA correttamente con questo\r\n"
                                        "programma se si utilizza il terminatore (TAB)\r\n\r\n"
                                        "Configurare con terminatore (TAB) ?");
        QTest::newRow("quantity") << QByteArray("Command3d7")
                                  << QString("Impostare il Formato Quantita' a <1> carattere ?\r\n"
                                             "Il comando cancellera' anche i dati in memoria !!!");
        QTest::newRow("restore") << QByteArray("Command20")
                                 << QString("Ripristinare tutti i parametri di DEFAULT ?\r\n"
                                            "Il comando cancellera' anche i dati in memoria !!!");
        QTest::newRow("on line, short form")
            << QByteArray("Command9") << QString("Settare lo scanner in modo On-Line ?");
    }

    void shouldAskFirstAndSendNothingOnNo()
    {
        QFETCH(QByteArray, button);
        QFETCH(QString, question);
        ProgFixture f;
        const QString before = f.setIndicators();
        f.dialogs.answers = {false};
        f.click(button);
        QCOMPARE(f.dialogs.shown, QStringList{shown::onScreen("question", question)});
        QThread::msleep(150);
        QCOMPARE(f.terminal.receivedBytes(), QByteArray());
        QCOMPARE(f.setIndicators(), before);
        QVERIFY(f.unlocked());
    }

    // Every button of the screen: the terminal receives the value's code, paced as the
    // protocol wants, and afterwards reports the setting the screen shows.
    void shouldSetTheTerminalToTheButtonsValue_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<char>("code");
        QTest::addColumn<QString>("set"); // every indicator shown afterwards, where given
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
            {"Command20", kDefaults + " Check18 Check6"},
            // "File" clears the TAB indicator, without claiming another terminator.
            {"Command19",
             "Check12 Check13 Check16 Check18 Check20 Check22 Check28 Check3 Check31"}};
        for (const auto &[button, code] : buttons)
            QTest::newRow(button) << QByteArray(button) << code << shownAfter.value(button);
    }

    void shouldSetTheTerminalToTheButtonsValue()
    {
        QFETCH(QByteArray, button);
        QFETCH(char, code);
        ProgFixture f(kNonDefaults);
        f.click(button);
        QCOMPARE(f.dialogs.shown.size(), 2);
        QCOMPARE(f.dialogs.shown.last(), shown::kDone);
        QVERIFY(f.unlocked());

        // Off-line, on-line and file mode are not reported, so they skip the second wake-up.
        const bool shortForm =
            QList<QByteArray>{"Command10", "Command9", "Command19"}.contains(button);
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
            QCOMPARE(f.setIndicators(), sorted(set));
        // What the screen shows, the terminal reports when asked again.
        const IndicatorStates reported = decodeConfigString(f.terminal.statusLine());
        for (const QString &shown : f.setIndicators().split(' '))
            QVERIFY2(reported.value(shown, true), qPrintable(shown));
    }

    void shouldStopOrGoOnWhenTheTerminalFails_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QByteArray>("traffic");
        const QString question = "question| Corvane|Eliminare il campo DATA/ORA ?";
        QTest::newRow("never answers")
            << "silent" << QByteArray("Command3d13")
            << QStringList{question, "beep", shown::kNoAnswerOnScreen} << QByteArray(" 0");
        QTest::newRow("answers something else")
            << "wake=58" << QByteArray("Command3d13")
            << QStringList{question, shown::kCommErrorOnScreen} << QByteArray(" 0");
        // The status line only proves presence: without it the second wake-up decides.
        QTest::newRow("no status line")
            << "status=" << QByteArray("Command3d13")
            << QStringList{question, "beep", "beep", shown::kNoAnswerOnScreen, shown::kDone}
            << QByteArray(" 0!?^\r 0!V^\r");
        QTest::newRow("bare CR") << "status=\r" << QByteArray("Command3d13")
                                 << QStringList{question, shown::kDone}
                                 << QByteArray(" 0!?^\r 0!V^\r");
        // The short form skips the port check: the lost device is found by its wake-up.
        QTest::newRow("device gone")
            << "gone" << QByteArray("Command9")
            << QStringList{"question| Corvane|Settare lo scanner in modo On-Line ?",
                           shown::kDeviceGone}
            << QByteArray();
    }

    void shouldStopOrGoOnWhenTheTerminalFails()
    {
        QFETCH(QString, fault);
        ProgFixture f;
        putFault(f.terminal, fault);
        const QString before = f.setIndicators();
        QFETCH(QByteArray, button);
        f.click(button);
        QTEST(f.dialogs.shown, "shown");
        QTEST(f.terminal.receivedBytes(), "traffic");
        QVERIFY(f.unlocked());
        QCOMPARE(f.setIndicators() == before, !f.dialogs.shown.contains(shown::kDone));
        QCOMPARE(f.window->windowTitle() == "PDT", fault == "gone");
    }

    void shouldOpenClockScreenOnlyOnAUsablePort_data()
    {
        QTest::addColumn<bool>("gone");
        QTest::newRow("port usable") << false;
        QTest::newRow("device gone") << true;
    }

    void shouldOpenClockScreenOnlyOnAUsablePort()
    {
        QFETCH(bool, gone);
        ProgFixture f;
        if (gone)
            f.terminal.hangUp();
        OnModal modal;
        f.click("Command3d16");
        QTest::qWait(100);
        QCOMPARE(modal.opened, gone ? QString() : QStringLiteral("setdat"));
        QCOMPARE(f.dialogs.shown.size(), gone ? 1 : 0);
        QCOMPARE(f.terminal.receivedBytes(), QByteArray());
    }
};

QTEST_MAIN(TestProgramming)
#include "tst_programming.moc"
