#include "TestFiles.h"
#include "link/PortChoice.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestPortChoice : public QObject {
    Q_OBJECT

private slots:
    void shouldLoadStoredPortOrRecreateFile_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("expectedPort");
        QTest::addColumn<QByteArray>("fileAfter");

        QTest::newRow("missing") << false << QByteArray() << 1 << QByteArray("0\r\n");
        QTest::newRow("empty") << true << QByteArray() << 1 << QByteArray("0\r\n");
        QTest::newRow("blank line") << true << QByteArray("\r\n") << 1 << QByteArray("0\r\n");
        QTest::newRow("garbage") << true << QByteArray("abc\r\n") << 1 << QByteArray("0\r\n");
        QTest::newRow("binary") << true << QByteArray("\x00\xff\x01", 3) << 1
                                << QByteArray("0\r\n");
        QTest::newRow("overflow") << true << QByteArray("99999\r\n") << 1 << QByteArray("0\r\n");
        QTest::newRow("decimal point") << true << QByteArray("3.7\r\n") << 1 << QByteArray("0\r\n");
        QTest::newRow("port 3") << true << QByteArray("3\r\n") << 3 << QByteArray("3\r\n");
        QTest::newRow("no line end") << true << QByteArray("12") << 12 << QByteArray("12");
        QTest::newRow("spaces and rest ignored")
            << true << QByteArray(" 5 ,9\r\nxyz") << 5 << QByteArray(" 5 ,9\r\nxyz");
        QTest::newRow("zero kept") << true << QByteArray("0\r\n") << 0 << QByteArray("0\r\n");
        QTest::newRow("17 kept") << true << QByteArray("17\r\n") << 17 << QByteArray("17\r\n");
        QTest::newRow("negative kept")
            << true << QByteArray("-4\r\n") << -4 << QByteArray("-4\r\n");
    }

    void shouldLoadStoredPortOrRecreateFile()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, stored);
        QFETCH(int, expectedPort);
        QFETCH(QByteArray, fileAfter);

        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        if (exists)
            QVERIFY(writeBytes(dir, "portacom", stored));
        QCOMPARE(portchoice::load(dir, 0), expectedPort);
        QCOMPARE(fileBytes(dir, "portacom"), fileAfter);
    }

    void shouldNotReadMoreThanTheHeadOfAHugeFile()
    {
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        QFile f(dir.filePath("portacom"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8 * 1024 * 1024, '7'));
        f.close();
        QCOMPARE(portchoice::load(dir, 0), 1);
        QCOMPARE(fileBytes(dir, "portacom"), QByteArray("0\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestPortChoice)
#include "tst_portchoice.moc"
