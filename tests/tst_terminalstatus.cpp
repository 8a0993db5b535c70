#include "link/TerminalStatus.h"

#include <QTest>

class TestTerminalStatus : public QObject {
    Q_OBJECT

private slots:
    void shouldClipFieldsToTheLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("params");
        QTest::addColumn<QByteArray>("freeMemory");
        QTest::addColumn<QByteArray>("firmware");
        QTest::addColumn<QByteArray>("memoryCode");
        QTest::addColumn<QByteArray>("suffix");

        const QByteArray full =
            QByteArray("T239>@CDIMSU") + QByteArray("\x55\x33\x53\x89", 4) + "72000316OK";
        QTest::newRow("full line") << full << QByteArray("239>@CDIMSU") << QByteArray("72000")
                                   << QByteArray("31") << QByteArray("6") << QByteArray("OK");
        QTest::newRow("24 characters, suffix overlaps")
            << QByteArray("ABCDEFGHIJKLMNOPQRSTU45X") << QByteArray("BCDEFGHIJKL")
            << QByteArray("QRSTU") << QByteArray("45") << QByteArray("X") << QByteArray("5X");
        QTest::newRow("ends inside free memory")
            << QByteArray("ABCDEFGHIJKLMNOPQR") << QByteArray("BCDEFGHIJKL") << QByteArray("QR")
            << QByteArray() << QByteArray() << QByteArray("QR");
        QTest::newRow("one character") << QByteArray("A") << QByteArray() << QByteArray()
                                       << QByteArray() << QByteArray() << QByteArray("A");
        QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray() << QByteArray()
                               << QByteArray() << QByteArray();
        QTest::newRow("high bytes kept")
            << QByteArray(23, '\xff') + "\xe0" << QByteArray(11, '\xff') << QByteArray(5, '\xff')
            << QByteArray(2, '\xff') << QByteArray("\xe0") << QByteArray("\xff\xe0");
    }

    void shouldClipFieldsToTheLine()
    {
        QFETCH(QByteArray, line);
        const TerminalStatus s{line};
        QTEST(s.parameterChars(), "params");
        QTEST(s.freeMemoryField(), "freeMemory");
        QTEST(s.firmwareField(), "firmware");
        QTEST(s.memoryCode(), "memoryCode");
        QTEST(s.statusSuffix(), "suffix");
    }

    void shouldShowHighBytesOneCharacterEach()
    {
        const TerminalStatus s{QByteArray(21, 'x') + "\xe0\xe8" + "6\xb0\xb1"};
        QCOMPARE(s.firmwareText(), QString::fromUtf8("Versione Firmware: à.è  °±"));
        // Missing digits leave their places empty.
        QCOMPARE(TerminalStatus{"ABCDEFGHIJ"}.firmwareText(), "Versione Firmware: .  IJ");
    }
};

QTEST_GUILESS_MAIN(TestTerminalStatus)
#include "tst_terminalstatus.moc"
