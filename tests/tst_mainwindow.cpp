#include "DataTable.h"
#include "MainFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void shouldOpenStoredPortAtStartUp_data()
    {
        const auto row = table<QByteArray, QString, int>({"portacom", "caption", "comboIndex"});
        row("first start", "<none>", "  PDT --> COM 1", 0); // no file
        // Out of range: nothing chosen, the port stays closed and the file is left alone.
        row("zero", "0\r\n", "Corvane", -1);
        row("seventeen", "17\r\n", "Corvane", -1);
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

    // A port that cannot be used, stored or picked, leaves only the port list and what the
    // link points at untouched; picking a good one brings everything back.
    void shouldRefuseAnUnusablePortAndRecoverByPicking_data()
    {
        const auto row = table<QString, QString>({"target", "message"});
        row("unplugged adapter", "/nonexistent/ttyUSB7", shown::kPortMissing);
        row("a file", "notes.txt", shown::kPortError);
        row("a folder", "folder", shown::kPortError);
    }

    void shouldRefuseAnUnusablePortAndRecoverByPicking()
    {
        QFETCH(QString, target);
        QFETCH(QString, message);
        MainFixture f;
        const QByteArray precious("operator's notes\r\n");
        QVERIFY(f.write("notes.txt", precious) && f.dir.mkdir("folder"));
        QVERIFY(QFile::link(target.startsWith('/') ? target : f.dir.filePath(target),
                            f.dir.filePath("com5")));
        f.write("portacom", "5\r\n");
        f.start();
        auto *combo = f.child<QComboBox>("Combo1");
        combo->setCurrentIndex(4);
        f.window->Combo1_Click();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("PDT"));
        QCOMPARE(f.enabledControls(), kPortDown);
        QCOMPARE(f.dialogs.shown, QStringList(2, message));
        QCOMPARE(f.read("portacom"), QByteArray("5\r\n"));
        QCOMPARE(f.read("notes.txt"), precious);
        QVERIFY(QFileInfo(f.dir.filePath("folder")).isDir());

        combo->setCurrentIndex(0);
        f.window->Combo1_Click();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("  PDT --> COM 1"));
        QCOMPARE(f.enabledControls(), kAll);
        QCOMPARE(f.read("portacom"), QByteArray("1\r\n"));
        // Picking the open port again reopens it.
        f.window->Combo1_Click();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("  PDT --> COM 1"));
        f.window->Command5_Click();
        QCOMPARE(f.dialogs.shown.mid(2), QStringList{shown::kFirmware});
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

    // The viewer, the information box and the programming screen: modal, deaf to other keys,
    // closed by Esc. Only programming asks the terminal first, opens on the status line just
    // read and keeps the main window locked while it is open.
    void shouldOpenAModalScreenThatEscCloses_data()
    {
        const auto row = table<QString, QString, bool>({"handler", "screen", "asks"});
        row("viewer", "Command6_Click", "file60 Visualizza dati", false);
        row("information box", "info_Click", "infmem Informazioni", false);
        row("programming", "Command8_Click", "progra Programmazione", true);
    }

    void shouldOpenAModalScreenThatEscCloses()
    {
        QFETCH(QString, handler);
        QFETCH(bool, asks);
        MainFixture f;
        f.start();
        QString seen;
        OnModal modal([&](QWidget *w) {
            QTest::keyClick(w, Qt::Key_A);
            seen = w->objectName() + " " + w->windowTitle();
            QVERIFY(w->isVisible());
            QCOMPARE(f.enabledControls(), asks ? QStringLiteral("Combo1") : kAll);
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY(!w->isVisible());
        });
        QMetaObject::invokeMethod(f.window.get(), qPrintable(handler));
        QTEST(seen, "screen");
        QCOMPARE(f.state.ConfigString, asks ? f.terminal.statusLine() : QByteArray());
        QCOMPARE(f.terminal.receivedBytes().isEmpty(), !asks);
        QCOMPARE(f.enabledControls(), kAll);
        QVERIFY(f.dialogs.shown.isEmpty());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
