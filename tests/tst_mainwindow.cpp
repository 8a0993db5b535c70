#include "MainFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

namespace {

const QString kAll = QStringLiteral("Command2 Command3 Command5 Command6 Command7 Command8 "
                                    "Command10 fil hlp Combo1");
const QString kPortDown = QStringLiteral("Command3 Combo1");
const QString kNoAnswer =
    QStringLiteral("critical|Corvane|Lo Scanner non Risponde !!  Verificare che sia connesso e "
                   "acceso !");
const QString kCommError = QStringLiteral("critical|Corvane|Errore di comunicazione !!");
const QString kPortError = QStringLiteral("critical|Corvane|Errore su porta COM");
const QByteArray kWake(" 0");
const QByteArray kStatus("!?^\r");

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void shouldOpenStoredPortAtStartUp_data()
    {
        QTest::addColumn<QByteArray>("portacom"); // "<none>": no file
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("comboIndex");
        QTest::addColumn<QByteArray>("portacomAfter");
        QTest::addColumn<QString>("enabled");

        QTest::newRow("first start")
            << QByteArray("<none>") << "  PDT --> COM 1" << 0 << QByteArray("1\r\n") << kAll;
        // Out of range: nothing chosen, the port stays closed and the file is left alone.
        QTest::newRow("zero") << QByteArray("0\r\n") << "Corvane" << -1 << QByteArray("0\r\n")
                              << kAll;
        QTest::newRow("seventeen")
            << QByteArray("17\r\n") << "Corvane" << -1 << QByteArray("17\r\n") << kAll;
    }

    void shouldOpenStoredPortAtStartUp()
    {
        QFETCH(QByteArray, portacom);
        MainFixture f;
        if (portacom != "<none>")
            f.writeFile("portacom", portacom);
        f.start();
        QTEST(f.window->windowTitle(), "caption");
        QTEST(f.child<QComboBox>("Combo1")->currentIndex(), "comboIndex");
        QTEST(f.readFile("portacom"), "portacomAfter");
        QTEST(f.enabledControls(), "enabled");
        QCOMPARE(f.child<QComboBox>("Combo1")->count(), 16);
        QCOMPARE(f.child<QComboBox>("Combo1")->itemText(15), QStringLiteral("Com-16"));
        QVERIFY(f.dialogs.shown.isEmpty());
        QVERIFY(!f.child<QLabel>("Label3")->isVisible());
    }

    void shouldReportMissingPortAndRecoverByPicking()
    {
        MainFixture f;
        QVERIFY(QFile::link("/nonexistent/ttyUSB7", f.dir.filePath("com5")));
        f.writeFile("portacom", "5\r\n");
        f.start();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("PDT"));
        QCOMPARE(f.enabledControls(), kPortDown);
        QCOMPARE(f.dialogs.shown, QStringList{"critical|Corvane|Porta COM non disponibile"});
        QCOMPARE(f.readFile("portacom"), QByteArray("5\r\n"));

        auto *combo = f.child<QComboBox>("Combo1");
        combo->setCurrentIndex(0);
        f.window->Combo1_Click();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("  PDT --> COM 1"));
        QCOMPARE(f.enabledControls(), kAll);
        QCOMPARE(f.readFile("portacom"), QByteArray("1\r\n"));

        // Picking the open port again reopens it.
        f.window->Combo1_Click();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("  PDT --> COM 1"));
        QCOMPARE(f.dialogs.shown.size(), 1);
        f.window->Command5_Click();
        QCOMPARE(f.dialogs.shown.last(),
                 QStringLiteral("information|Corvane|Versione Firmware: 3.1  OK"));
    }

    void shouldReportPortFailureBeforeSendingAnything_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<bool>("hangUp"); // false: port never opened
        QTest::addColumn<QString>("message");
        const QString gone = QStringLiteral(
            "plain|Corvane|Errore sulla porta COM\r\nTerminale scollegato o Driver mancante\r\n"
            "Collegare il terminale riaprire la COM dalla finestra principale\r\n"
            "Se il problema persiste riavviare completamente il programma\r\n");
        for (const char *h : {"Command2", "Command5", "Command7", "Command8", "Command10"}) {
            QTest::addRow("%s, device lost", h) << QString::fromLatin1(h) << true << gone;
            QTest::addRow("%s, port closed", h) << QString::fromLatin1(h) << false << kPortError;
        }
    }

    void shouldReportPortFailureBeforeSendingAnything()
    {
        QFETCH(QString, handler);
        QFETCH(bool, hangUp);
        QFETCH(QString, message);
        MainFixture f;
        f.writeFile("portacom", hangUp ? "1\r\n" : "0\r\n");
        f.start();
        if (hangUp)
            f.terminal.hangUp();
        QThread::msleep(20);
        QMetaObject::invokeMethod(f.window.get(), qPrintable(handler + "_Click"));
        QCOMPARE(f.dialogs.shown, QStringList{message});
        QCOMPARE(f.window->windowTitle(), QStringLiteral("PDT"));
        QCOMPARE(f.enabledControls(), kPortDown);
        QCOMPARE(f.terminal.receivedBytes(), QByteArray());
    }

    void shouldExitOnlyOnYes()
    {
        MainFixture f;
        f.start();
        QSignalSpy exited(f.window.get(), &MainWindow::exitConfirmed);
        f.dialogs.answers = {false};
        f.window->Command3_Click();
        QCOMPARE(exited.count(), 0);
        QVERIFY(f.state.Comm1.portOpen());
        f.dialogs.answers = {true};
        f.window->Command3_Click();
        QCOMPARE(exited.count(), 1);
        QVERIFY(!f.state.Comm1.portOpen());
        QCOMPARE(f.dialogs.shown, (QStringList{"question|Corvane|Uscire da Corvane ?",
                                               "question|Corvane|Uscire da Corvane ?"}));
    }

    void shouldRunMemoryCommand_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QByteArray>("traffic");
        QTest::addColumn<QStringList>("shown");

        const QByteArray clear = kWake + kStatus + kWake + "!6^\r";
        const QByteArray count = kWake + kStatus + kWake + "!7^\r";
        const QString ask =
            QStringLiteral("question|Corvane|Cancellare il contenuto della memoria ?");
        const QString cleared = QStringLiteral("critical|Corvane|Memoria Cancellata");

        QTest::newRow("clear") << "Command2"
                               << "" << QList<bool>{true} << clear << QStringList{ask, cleared};
        QTest::newRow("clear refused")
            << "Command2"
            << "" << QList<bool>{false} << kWake + kStatus << QStringList{ask};
        QTest::newRow("clear, silent terminal")
            << "Command2"
            << "silent" << QList<bool>{} << kWake << QStringList{"beep", kNoAnswer};
        QTest::newRow("clear, wrong wake answer")
            << "Command2"
            << "wake=0x20" << QList<bool>{} << kWake << QStringList{kCommError};
        QTest::newRow("clear, no status line goes on")
            << "Command2"
            << "status=" << QList<bool>{true} << clear << QStringList{kNoAnswer, ask, cleared};

        QTest::newRow("count") << "Command7"
                               << "records=3" << QList<bool>{} << count
                               << QStringList{
                                      "beep", "beep",
                                      "information|Corvane|3 Records Presenti in Memoria !"};
        QTest::newRow("count, CR only not counted")
            << "Command7"
            << "records=3,terminator=CR" << QList<bool>{} << count
            << QStringList{"beep", "beep", "information|Corvane|0 Records Presenti in Memoria !"};
        QTest::newRow("count, leading character only")
            << "Command7"
            << "transfer=\x02" << QList<bool>{} << count
            << QStringList{"beep", "beep", "information|Corvane|0 Records Presenti in Memoria !"};
        QTest::newRow("count, nothing after frame")
            << "Command7"
            << "transfer=" << QList<bool>{} << count
            << QStringList{"critical|Corvane|Memoria Vuota"};

        QTest::newRow("firmware") << "Command5"
                                  << "" << QList<bool>{} << kWake + kStatus
                                  << QStringList{"information|Corvane|Versione Firmware: 3.1  OK"};
        QTest::newRow("firmware, no status line") << "Command5"
                                                  << "status=" << QList<bool>{} << kWake + kStatus
                                                  << QStringList{"beep", "beep", kNoAnswer};
        QTest::newRow("firmware, wrong wake answer")
            << "Command5"
            << "wake=0x30" << QList<bool>{} << kWake << QStringList{kCommError};
    }

    void shouldRunMemoryCommand()
    {
        QFETCH(QString, handler);
        QFETCH(QString, script);
        QFETCH(QList<bool>, answers);
        MainFixture f;
        f.terminal.setRecords({"8001234567890;00001", "8001234567891;00002", "X"});
        for (const QString &step : script.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString key = step.section(QLatin1Char('='), 0, 0);
            const QByteArray value = step.section(QLatin1Char('='), 1).toLatin1();
            if (key == "silent")
                f.terminal.setSilent(true);
            else if (key == "wake")
                f.terminal.setWakeReply(quint8(value.toInt(nullptr, 16)));
            else if (key == "status")
                f.terminal.setStatusReplyOverride(value);
            else if (key == "transfer")
                f.terminal.setTransferOverride(value);
            else if (key == "terminator")
                f.terminal.setRecordTerminatorOverride(QByteArray("\r"));
            else if (key == "records")
                QCOMPARE(f.terminal.records().size(), value.toInt());
        }
        f.start();
        f.dialogs.answers = answers;
        QMetaObject::invokeMethod(f.window.get(), qPrintable(handler + "_Click"));
        QTEST(f.dialogs.shown, "shown");
        QFETCH(QByteArray, traffic);
        f.terminal.waitForReceived(traffic.size(), 500); // the last byte may still be in flight
        QCOMPARE(f.terminal.receivedBytes(), traffic);
        QCOMPARE(f.enabledControls(), kAll);
        QCOMPARE(f.child<QLabel>("CC")->text(), QString());
        QVERIFY(!f.child<QLabel>("Label3")->isVisible());
    }

    void shouldShowCounterAndStatusWhileCounting()
    {
        MainFixture f;
        f.terminal.setRecords({"A", "B"});
        f.start();
        QStringList seen;
        f.dialogs.onShow = [&](const QString &entry) {
            if (entry.startsWith("information"))
                seen << f.child<QLabel>("CC")->text() << f.child<QLabel>("Label3")->text()
                     << QString::number(f.child<QLabel>("Label3")->isVisible())
                     << f.enabledControls();
        };
        f.window->Command7_Click();
        // The result is shown from the counter, after the status line is hidden, while the
        // buttons are still locked.
        QCOMPARE(seen, (QStringList{"2", "Conteggio Records Attendere !", "0", "Combo1"}));
    }

    void shouldOpenProgrammingOnTheStatusLineJustRead()
    {
        MainFixture f;
        f.start();
        QString seen;
        QTimer::singleShot(0, [&] {
            QWidget *screen = QApplication::activeModalWidget();
            seen = screen->objectName() + QLatin1Char(' ') + f.enabledControls();
            screen->findChild<QPushButton *>("Command3")->click();
        });
        f.window->Command8_Click();
        QCOMPARE(seen, QStringLiteral("progra Combo1"));
        QCOMPARE(f.state.ConfigString, f.terminal.statusLine());
        QCOMPARE(f.enabledControls(), kAll);
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void shouldEndExchangeWhenDeviceGoesMidway()
    {
        MainFixture f;
        f.start();
        f.terminal.setStatusReplyOverride(QByteArray("SLOW STATUS LINE\r"));
        f.terminal.setReplyCharDelayMs(100);
        QThread *killer = QThread::create([&] {
            QThread::msleep(900);
            f.terminal.hangUp();
        });
        killer->start();
        f.window->Command5_Click();
        killer->wait();
        delete killer;
        QCOMPARE(f.dialogs.shown, QStringList{kPortError});
        QCOMPARE(f.enabledControls(), kAll);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
