#include "TestFiles.h"
#include "state/StartupSettings.h"

#include <QTest>

class TestStartupSettings : public QObject {
    Q_OBJECT

private slots:
    void shouldReadValuesUntilFirstBadOne_data()
    {
        QTest::addColumn<QByteArray>("file"); // "<none>": no file at all
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<int>("third");
        QTest::addColumn<double>("speed");

        QTest::newRow("missing") << QByteArray("<none>") << 59 << 0 << 5 << 9600.0;
        QTest::newRow("empty") << QByteArray() << 59 << 0 << 5 << 9600.0;
        QTest::newRow("one per line")
            << QByteArray("7\r\n8\r\n9\r\n2400\r\n") << 7 << 8 << 9 << 2400.0;
        QTest::newRow("mixed separators") << QByteArray("7,8\n9\n\n3000") << 7 << 8 << 9 << 3000.0;
        QTest::newRow("speed above range") << QByteArray("1,2,3,19200") << 1 << 2 << 3 << 9600.0;
        QTest::newRow("speed below range") << QByteArray("1,2,3,300") << 1 << 2 << 3 << 2400.0;
        QTest::newRow("stops at text") << QByteArray("1,x,3,4800") << 1 << 0 << 5 << 9600.0;
        QTest::newRow("only two") << QByteArray("-1,-2\r\n") << -1 << -2 << 5 << 9600.0;
        QTest::newRow("overflow stops") << QByteArray("40000,2,3,4800") << 59 << 0 << 5 << 9600.0;
        QTest::newRow("number with tail") << QByteArray("12abc,2") << 59 << 0 << 5 << 9600.0;
        QTest::newRow("binary") << QByteArray("\x00\xff\x10,1", 5) << 59 << 0 << 5 << 9600.0;
        // Only the head of a huge file is read.
        QTest::newRow("huge") << "1,2,3,4000," + QByteArray(16 * 1024 * 1024, '9') << 1 << 2 << 3
                              << 4000.0;
    }

    void shouldReadValuesUntilFirstBadOne()
    {
        QFETCH(QByteArray, file);
        WorkDir w;
        if (file != "<none>")
            QVERIFY(w.write("kx7p.cfg", file));
        const StartupSettings s = loadStartupSettings(w.dir);
        QTEST(int(s.first), "first");
        QTEST(int(s.second), "second");
        QTEST(int(s.third), "third");
        QTEST(s.speed, "speed");
    }
};

QTEST_GUILESS_MAIN(TestStartupSettings)
#include "tst_startupsettings.moc"
