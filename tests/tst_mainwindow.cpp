#include "MainFixture.h"
#include "SimFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

namespace {

const QString kAll = QStringLiteral("Command2 Command3 Command5 Command6 Command7 Command8 "
                                    "Command10 fil hlp Combo1");
const QString kPortDown = QStringLiteral("Command3 Combo1");
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
        QTest::newRow("first start") << QByteArray("<none>") << "  PDT --> COM 1" << 0;
        // Out of range: nothing chosen, the port stays closed and the file is left alone.
        QTest::newRow("zero") << QByteArray("0\r\n") << "Corvane" << -1;
        QTest::newRow("seventeen") << QByteArray("17\r\n") << "Corvane" << -1;
    }

    void shouldOpenStoredPortAtStartUp()
    {
        QFETCH(QByteArray, portacom);
        MainFixture f;
        if (portacom != "<none>")
            f.write("portacom", portacom);
        f.start();
        QTEST(f.window->windowTitle(), "caption");
        QTEST(f.child<QComboBox>("Combo1")->currentIndex(), "comboIndex");
        QCOMPARE(f.read("portacom"), portacom == "<none>" ? QByteArray("1\r\n") : portacom);
        QCOMPARE(f.enabledControls(), kAll);
        QCOMPARE(f.child<QComboBox>("Combo1")->itemText(15), QStringLiteral("Com-16"));
        QVERIFY(f.dialogs.shown.isEmpty());
        QVERIFY(!f.child<QLabel>("Label3")->isVisible());
    }

    void shouldReportMissingPortAndRecoverByPicking()
    {
        MainFixture f;
        QVERIFY(QFile::link("/nonexistent/ttyUSB7", f.dir.filePath("com5")));
        f.write("portacom", "5\r\n");
        f.start();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("PDT"));
        QCOMPARE(f.enabledControls(), kPortDown);
        QCOMPARE(f.dialogs.shown, QStringList{shown::kPortMissing});
        QCOMPARE(f.read("portacom"), QByteArray("5\r\n"));

        f.child<QComboBox>("Combo1")->setCurrentIndex(0);
        f.window->Combo1_Click();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("  PDT --> COM 1"));
        QCOMPARE(f.enabledControls(), kAll);
        QCOMPARE(f.read("portacom"), QByteArray("1\r\n"));
        // Picking the open port again reopens it.
        f.window->Combo1_Click();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("  PDT --> COM 1"));
        f.window->Command5_Click();
        QCOMPARE(f.dialogs.shown, (QStringList{shown::kPortMissing, shown::kFirmware}));
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
        f.window->Command3_Click();
        QCOMPARE(exited.count(), 1);
        QVERIFY(!f.state.Comm1.portOpen());
        QCOMPARE(f.dialogs.shown, QStringList(2, "question|Corvane|Uscire da Corvane ?"));
    }

    // Each button that talks to the terminal, on a good line and on a faulty one ("closed":
    // the port never opened; the other faults as putFault() takes them, set after start-up).
    void shouldRunMemoryCommand_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QByteArray>("traffic");
        QTest::addColumn<QStringList>("shown");

        const auto row = [](const QString &name, const char *handler, const char *fault,
                            QList<bool> answers, const QByteArray &traffic,
                            const QStringList &shown) {
            QTest::newRow(qPrintable(name)) << handler << fault << answers << traffic << shown;
        };
        for (const char *h : {"Command2", "Command5", "Command7", "Command8", "Command10"}) {
            row(h + QString(", device lost"), h, "gone", {}, {}, {shown::kDeviceGone});
            row(h + QString(", port closed"), h, "closed", {}, {}, {shown::kPortError});
        }
        const QByteArray clear = kWake + kStatus + kWake + "!6^\r";
        const QByteArray count = kWake + kStatus + kWake + "!7^\r";
        const QString ask = "question|Corvane|Cancellare il contenuto della memoria ?";
        const QString cleared = "critical|Corvane|Memoria Cancellata";
        const auto counted = [](int n) {
            return QStringList{
                "beep", "beep",
                shown::onMain("information", "%1 Records Presenti in Memoria !").arg(n)};
        };
        row("clear", "Command2", "", {true}, clear, {ask, cleared});
        row("clear refused", "Command2", "", {false}, kWake + kStatus, {ask});
        row("clear, silent terminal", "Command2", "silent", {}, kWake, {"beep", shown::kNoAnswer});
        row("clear, wrong wake answer", "Command2", "wake=20", {}, kWake, {shown::kCommError});
        row("clear, no status line goes on", "Command2", "status=", {true}, clear,
            {shown::kNoAnswer, ask, cleared});
        row("count", "Command7", "", {}, count, counted(3));
        row("count, CR only not counted", "Command7", "terminator=CR", {}, count, counted(0));
        row("count, leading character only", "Command7", "transfer=\x02", {}, count, counted(0));
        row("count, nothing after frame", "Command7", "transfer=", {}, count,
            {"critical|Corvane|Memoria Vuota"});
        row("firmware", "Command5", "", {}, kWake + kStatus, {shown::kFirmware});
        row("firmware, no status line", "Command5", "status=", {}, kWake + kStatus,
            {"beep", "beep", shown::kNoAnswer});
        row("firmware, wrong wake answer", "Command5", "wake=30", {}, kWake, {shown::kCommError});
    }

    void shouldRunMemoryCommand()
    {
        QFETCH(QString, handler);
        QFETCH(QString, fault);
        QFETCH(QList<bool>, answers);
        MainFixture f;
        f.terminal.setRecords({"8001234567890;00001", "8001234567891;00002", "X"});
        const bool portDown = fault == "gone" || fault == "closed";
        f.write("portacom", fault == "closed" ? "0\r\n" : "1\r\n");
        f.start();
        if (fault != "closed")
            putFault(f.terminal, fault);
        QThread::msleep(20);
        f.dialogs.answers = answers;
        QMetaObject::invokeMethod(f.window.get(), qPrintable(handler + "_Click"));
        QTEST(f.dialogs.shown, "shown");
        QFETCH(QByteArray, traffic);
        f.terminal.waitForReceived(traffic.size(), 500); // the last byte may still be in flight
        QCOMPARE(f.terminal.receivedBytes(), traffic);
        // The second wake-up comes 200 ms after the status query's own 200 ms.
        if (traffic.count(' ') == 2)
            QVERIFY(gapsMs(f.terminal.received())[5] >= 400 - kReadJitterMs);
        QCOMPARE(f.enabledControls(), portDown ? kPortDown : kAll);
        QCOMPARE(f.window->windowTitle() == "PDT", portDown);
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
        QString controls;
        OnModal modal([&](QWidget *screen) {
            controls = f.enabledControls();
            screen->findChild<QPushButton *>("Command3")->click();
        });
        f.window->Command8_Click();
        QCOMPARE(modal.opened + ' ' + controls, QStringLiteral("progra Combo1"));
        QCOMPARE(f.state.ConfigString, f.terminal.statusLine());
        QCOMPARE(f.enabledControls(), kAll);
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    // The viewer and the information box: modal, deaf to other keys, closed by Esc, and
    // nothing said to the terminal.
    void shouldOpenAModalScreenThatEscCloses_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<QString>("screen");
        QTest::newRow("viewer") << "Command6_Click"
                                << "file60 Visualizza dati";
        QTest::newRow("information box") << "info_Click"
                                         << "infmem Informazioni";
    }

    void shouldOpenAModalScreenThatEscCloses()
    {
        QFETCH(QString, handler);
        MainFixture f;
        f.start();
        QString seen;
        OnModal modal([&](QWidget *w) {
            QTest::keyClick(w, Qt::Key_A);
            seen = w->objectName() + " " + w->windowTitle();
            QVERIFY(w->isVisible());
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY(!w->isVisible());
        });
        QMetaObject::invokeMethod(f.window.get(), qPrintable(handler));
        QTEST(seen, "screen");
        QCOMPARE(f.terminal.receivedBytes(), QByteArray());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
