#include "TestFiles.h"
#include "polling/PollStore.h"
#include "polling/RecordSplitter.h"

#include <QTest>

namespace {

const QDate kDay(2026, 12, 5);

} // namespace

class TestPollStore : public QObject {
    Q_OBJECT

private slots:
    void shouldNameFileAfterDate_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("name");
        QTest::newRow("december") << QDate(2026, 12, 5) << "05-12-26.pol";
        QTest::newRow("leading zeros") << QDate(2000, 1, 9) << "09-01-00.pol";
    }

    void shouldNameFileAfterDate()
    {
        QFETCH(QDate, date);
        QTEST(PollStore::fileName(date), "name");
    }

    // Records go after what the file holds, byte for byte, on a line of their own even when
    // a killed run left a torn record behind.
    void shouldAppendRecordsByteForByte_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QList<QByteArray>>("records");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("three records") << QByteArray("OLD\r\n") << QList<QByteArray>{"A", "B", "C"}
                                       << QByteArray("OLD\r\nA\r\nB\r\nC\r\n");
        QTest::newRow("empty record")
            << QByteArray() << QList<QByteArray>{"", "X"} << QByteArray("\r\nX\r\n");
        QTest::newRow("high bytes, NUL and separators untouched")
            << QByteArray() << QList<QByteArray>{QByteArray("\xe0\x80\xff\0;\t\"q\"", 9)}
            << QByteArray("\xe0\x80\xff\0;\t\"q\"\r\n", 11);
        QTest::newRow("killed mid-record")
            << QByteArray("TOR") << QList<QByteArray>{"A"} << QByteArray("TOR\r\nA\r\n");
        QTest::newRow("killed before LF")
            << QByteArray("TORN\r") << QList<QByteArray>{"A"} << QByteArray("TORN\r\nA\r\n");
    }

    void shouldAppendRecordsByteForByte()
    {
        QFETCH(QByteArray, before);
        QFETCH(QList<QByteArray>, records);
        WorkDir w;
        if (!before.isEmpty())
            QVERIFY(w.write("05-12-26.pol", before));
        PollStore store(w.dir, [] { return kDay; });
        for (const QByteArray &r : records)
            QVERIFY(store.append(r));
        QVERIFY(store.commit());
        QTEST(w.read("05-12-26.pol"), "after");
    }

    void shouldSplitTransferAtMidnight()
    {
        WorkDir w;
        QList<QDate> days{QDate(2026, 12, 31), QDate(2026, 12, 31), QDate(2027, 1, 1)};
        PollStore store(w.dir, [&] { return days.takeFirst(); });
        QVERIFY(store.append("late"));
        QVERIFY(store.append("later"));
        QVERIFY(store.append("early"));
        QVERIFY(store.commit());
        QCOMPARE(w.read("31-12-26.pol"), QByteArray("late\r\nlater\r\n"));
        QCOMPARE(w.read("01-01-27.pol"), QByteArray("early\r\n"));
    }

    void shouldSplitTransferIntoRecords_data()
    {
        QTest::addColumn<QByteArray>("transfer");
        QTest::addColumn<QList<QByteArray>>("records");
        QTest::addColumn<QByteArray>("fragment");
        QTest::newRow("CR LF") << QByteArray("A\r\nB\r\n") << QList<QByteArray>{"A", "B"}
                               << QByteArray();
        QTest::newRow("LF before CR")
            << QByteArray("X\n\r") << QList<QByteArray>{"X"} << QByteArray();
        QTest::newRow("CR only") << QByteArray("P\rQ\r") << QList<QByteArray>{"P", "Q"}
                                 << QByteArray();
        QTest::newRow("empty records")
            << QByteArray("\r\r") << QList<QByteArray>{"", ""} << QByteArray();
        QTest::newRow("trailing fragment")
            << QByteArray("A\r\nB") << QList<QByteArray>{"A"} << QByteArray("B");
        QTest::newRow("TAB terminator")
            << QByteArray("P\tQ\t") << QList<QByteArray>{} << QByteArray("P\tQ\t");
        QTest::newRow("NUL and high bytes")
            << QByteArray("\xe0\x00\xff\r\n", 5) << QList<QByteArray>{QByteArray("\xe0\x00\xff", 3)}
            << QByteArray();
    }

    void shouldSplitTransferIntoRecords()
    {
        QFETCH(QByteArray, transfer);
        RecordSplitter splitter;
        QList<QByteArray> records;
        splitter.feed(transfer, [&](const QByteArray &r) { records << r; });
        QTEST(records, "records");
        QTEST(splitter.fragment(), "fragment");
    }

    void shouldFailTheCommitWhenTheDiskFillsUp()
    {
        WorkDir w;
        PollStore store(w.dir, [] { return kDay; });
        QVERIFY(store.append("0123456789"));
        QVERIFY(store.commit());
        {
            // The buffered write fails part way, as on a full disk.
            const FileSizeLimit limit(16);
            QVERIFY(limit.active());
            store.append("this line does not fit");
            QVERIFY(!store.commit());
        }
        // The failure belongs to that transfer only.
        QVERIFY(store.append("next"));
        QVERIFY(store.commit());
    }
};

QTEST_GUILESS_MAIN(TestPollStore)
#include "tst_pollstore.moc"
