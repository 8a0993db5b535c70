#include "link/TerminalStatus.h"

#include <QTest>

class TestTerminalStatus : public QObject {
    Q_OBJECT

private slots:
    // The figure that decides whether a transfer starts: 64000 for memory code "6", 32000
    // for any other, less the free-memory field (positions 17-21) read as a number.
    void shouldFigureTheMemoryFromTheStatusLine_data()
    {
        QTest::addColumn<QByteArray>("freeMemory");
        QTest::addColumn<QByteArray>("memoryCode");
        QTest::addColumn<double>("figure");
        QTest::newRow("empty memory, code 6") << QByteArray("72000") << QByteArray("6") << -8000.0;
        QTest::newRow("empty memory, code 3") << QByteArray("40000") << QByteArray("3") << -8000.0;
        QTest::newRow("full memory, code 6") << QByteArray("00000") << QByteArray("6") << 64000.0;
        QTest::newRow("code 4") << QByteArray("12000") << QByteArray("4") << 20000.0;
        QTest::newRow("no code") << QByteArray("12000") << QByteArray() << 20000.0;
        QTest::newRow("blank field") << QByteArray("     ") << QByteArray("6") << 64000.0;
        QTest::newRow("minus sign") << QByteArray("-1200") << QByteArray("6") << 65200.0;
        QTest::newRow("plus sign") << QByteArray("+0500") << QByteArray("6") << 63500.0;
        QTest::newRow("exponent E") << QByteArray("1E3  ") << QByteArray("6") << 63000.0;
        QTest::newRow("exponent D") << QByteArray("2d3  ") << QByteArray("6") << 62000.0;
        QTest::newRow("exponent without digits")
            << QByteArray("12e- ") << QByteArray("6") << 63988.0;
        QTest::newRow("decimal") << QByteArray("12.5 ") << QByteArray("6") << 63987.5;
        QTest::newRow("blanks inside") << QByteArray(" 1 2 ") << QByteArray("6") << 63988.0;
        QTest::newRow("stops at a letter") << QByteArray("12A45") << QByteArray("6") << 63988.0;
    }

    void shouldFigureTheMemoryFromTheStatusLine()
    {
        QFETCH(QByteArray, freeMemory);
        QFETCH(QByteArray, memoryCode);
        const QByteArray line = "T239>@CDIMSU\x55\x33\x53\x89" + freeMemory + "31" + memoryCode;
        QTEST(TerminalStatus{line}.memoryFigure(), "figure");
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
