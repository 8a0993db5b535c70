#include "ProgFixture.h"

#include <QApplication>
#include <QTest>
#include <QThread>
#include <QTimer>

namespace {

const QString kDefaults =
    QStringLiteral("Check1 Check10 Check14 Check15 Check20 Check23 Check29 Check30 Check4");
const QString kNoAnswer = QStringLiteral(
    "critical| Corvane|Lo Scanner non Risponde !!  Verificare che sia connesso e acceso !");
const QString kDone = QStringLiteral("critical| Corvane|Operazione effettuata");
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
        const IndicatorStates states = decodeConfigString(line + "UCSE");
        QFETCH(QString, set);
        QCOMPARE(setIn(states), sorted(set));
        QCOMPARE(states.size(), 28); // every indicator of the nine groups, no hidden one
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
        ProgFixture f;
        const QString before = f.setIndicators();
        f.dialogs.answers = {false};
        f.click(button);
        QTEST(f.dialogs.shown.value(0).section('|', 2), "question");
        QCOMPARE(f.dialogs.shown.value(0).section('|', 0, 1), QStringLiteral("question| Corvane"));
        QCOMPARE(f.dialogs.shown.size(), 1);
        QThread::msleep(150);
        QCOMPARE(f.terminal.receivedBytes(), QByteArray());
        QCOMPARE(f.setIndicators(), before);
        QVERIFY(f.unlocked());
    }

    void shouldSendValueAndShowIt_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QByteArray>("traffic");
        QTest::addColumn<QString>("set");
        QTest::addColumn<QByteArray>("parametersAfter");
        QTest::newRow("full form")
            << QByteArray("Command3d14") << QByteArray(" 0!?^\r 0!U^\r")
            << "Check12 Check13 Check16 Check17 Check20 Check22 Check28 Check3 Check30"
            << QByteArray("15:?ABEINTU");
        // No second wake-up before the code; the hidden indicator is the only one touched.
        QTest::newRow("short form")
            << QByteArray("Command10") << QByteArray(" 0!?^\r!>^\r")
            << "Check12 Check13 Check16 Check17 Check20 Check22 Check28 Check3 Check31 Check6"
            << QByteArray("15:>ABEINTV");
        QTest::newRow("restore") << QByteArray("Command20") << QByteArray(" 0!?^\r 0!8^\r")
                                 << kDefaults + " Check18 Check6"
                                 << sim::TerminalSim::defaultParameters();
        // "File" clears the TAB indicator, without claiming another terminator.
        QTest::newRow("file mode")
            << QByteArray("Command19") << QByteArray(" 0!?^\r!D^\r")
            << "Check12 Check13 Check16 Check18 Check20 Check22 Check28 Check3 Check31"
            << QByteArray("15:?ABDINTV");
    }

    void shouldSendValueAndShowIt()
    {
        QFETCH(QByteArray, button);
        QFETCH(QByteArray, traffic);
        QFETCH(QByteArray, parametersAfter);
        ProgFixture f(kNonDefaults);
        QCOMPARE(f.screen->findChild<QCheckBox *>("Check21")->accessibleName(),
                 QStringLiteral("BAUD rate 19200"));
        f.click(button);
        QCOMPARE(f.dialogs.shown.size(), 2);
        QCOMPARE(f.dialogs.shown.last(), kDone);
        QVERIFY(f.unlocked());
        QFETCH(QString, set);
        QCOMPARE(f.setIndicators(), sorted(set));

        const auto got = f.terminal.received();
        QCOMPARE(bytesOf(got), traffic);
        // The status query's CR, 200 ms and the reply, the 100 ms pause, then the code's frame.
        const QString off = checkGaps(got.mid(got.size() - 4), {100, 100, 100}, 40);
        QVERIFY2(off.isEmpty(), qPrintable(off));
        const qsizetype statusCr = traffic.indexOf('\r');
        QVERIFY(gapsMs(got)[statusCr] >= 300 - kReadJitterMs);

        QCOMPARE(f.terminal.parameters(), parametersAfter);
        // What the screen shows, the terminal reports when asked again.
        const IndicatorStates reread = decodeConfigString(f.freshStatus());
        for (const QString &shown : f.setIndicators().split(' '))
            QVERIFY2(reread.value(shown, true), qPrintable(shown));
    }

    void shouldStopOrGoOnWhenTheTerminalFails_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QByteArray>("traffic");
        const QString question = "question| Corvane|Eliminare il campo DATA/ORA ?";
        QTest::newRow("never answers")
            << "silent" << QByteArray("Command3d13") << QStringList{question, "beep", kNoAnswer}
            << QByteArray(" 0");
        QTest::newRow("answers something else")
            << "wrong ack" << QByteArray("Command3d13")
            << QStringList{question, "critical| Corvane|Errore di comunicazione !!"}
            << QByteArray(" 0");
        // The status line only proves presence: without it the second wake-up decides.
        QTest::newRow("no status line") << "no line" << QByteArray("Command3d13")
                                        << QStringList{question, "beep", "beep", kNoAnswer, kDone}
                                        << QByteArray(" 0!?^\r 0!V^\r");
        QTest::newRow("bare CR") << "bare CR" << QByteArray("Command3d13")
                                 << QStringList{question, kDone} << QByteArray(" 0!?^\r 0!V^\r");
        // The short form skips the port check: the lost device is found by its wake-up.
        QTest::newRow("device gone")
            << "gone" << QByteArray("Command9")
            << QStringList{"question| Corvane|Settare lo scanner in modo On-Line ?",
                           "plain|Corvane|Errore sulla porta COM\r\nTerminale scollegato o Driver "
                           "mancante\r\nCollegare il terminale riaprire la COM dalla finestra "
                           "principale\r\nSe il problema persiste riavviare completamente il "
                           "programma\r\n"}
            << QByteArray();
    }

    void shouldStopOrGoOnWhenTheTerminalFails()
    {
        QFETCH(QString, fault);
        ProgFixture f;
        if (fault == "silent")
            f.terminal.setSilent(true);
        else if (fault == "wrong ack")
            f.terminal.setWakeReply('X');
        else if (fault == "no line")
            f.terminal.setStatusReplyOverride(QByteArray());
        else if (fault == "bare CR")
            f.terminal.setStatusReplyOverride(QByteArray("\r"));
        else
            f.terminal.hangUp();
        const QString before = f.setIndicators();
        QFETCH(QByteArray, button);
        f.click(button);
        QTEST(f.dialogs.shown, "shown");
        QTEST(f.terminal.receivedBytes(), "traffic");
        QVERIFY(f.unlocked());
        QCOMPARE(f.setIndicators() == before, !f.dialogs.shown.contains(kDone));
        QCOMPARE(f.window->windowTitle() == "PDT", fault == "gone");
    }

    void shouldOpenClockScreenOnlyOnAUsablePort()
    {
        for (bool gone : {false, true}) {
            ProgFixture f;
            if (gone)
                f.terminal.hangUp();
            QString opened;
            QTimer::singleShot(100, [&] {
                if (QWidget *w = QApplication::activeModalWidget(); w && w != f.screen.get()) {
                    opened = w->objectName();
                    w->close();
                }
            });
            f.click("Command3d16");
            QTest::qWait(150);
            QCOMPARE(opened, gone ? QString() : QStringLiteral("setdat"));
            QCOMPARE(f.dialogs.shown.size(), gone ? 1 : 0);
            QCOMPARE(f.terminal.receivedBytes(), QByteArray());
        }
    }
};

QTEST_MAIN(TestProgramming)
#include "tst_programming.moc"
