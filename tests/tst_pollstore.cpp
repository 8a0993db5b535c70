#include "TestFiles.h"
#include "polling/PollStore.h"
#include "polling/RecordSplitter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

class TestPollStore : public QObject {
    Q_OBJECT

private slots:
    void shouldNameFileAfterDate_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("name");
        QTest::newRow("december") << QDate(2026, 12, 5) << "05-12-26.pol";
        QTest::newRow("leading zeros") << QDate(2000, 1, 9) << "09-01-00.pol";
        QTest::newRow("end of year") << QDate(1999, 12, 31) << "31-12-99.pol";
    }

    void shouldNameFileAfterDate()
    {
        QFETCH(QDate, date);
        QTEST(PollStore::fileName(date), "name");
    }

    void shouldAppendRecordsByteForByte_data()
    {
        QTest::addColumn<QList<QByteArray>>("records");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("three records")
            << QList<QByteArray>{"A", "B", "C"} << QByteArray("A\r\nB\r\nC\r\n");
        QTest::newRow("empty record") << QList<QByteArray>{"", "X"} << QByteArray("\r\nX\r\n");
        QTest::newRow("high bytes untouched")
            << QList<QByteArray>{QByteArray("\xe0\xe8\x80\xff", 4)}
            << QByteArray("\xe0\xe8\x80\xff\r\n", 6);
        QTest::newRow("NUL and separators kept") << QList<QByteArray>{QByteArray("a\0b;\t\"q\"", 8)}
                                                 << QByteArray("a\0b;\t\"q\"\r\n", 10);
    }

    void shouldAppendRecordsByteForByte()
    {
        QFETCH(QList<QByteArray>, records);
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        PollStore store(dir, [] { return QDate(2026, 12, 5); });
        QVERIFY(writeBytes(dir, "05-12-26.pol", "OLD\r\n"));
        for (const QByteArray &r : records)
            QVERIFY(store.append(r));
        QVERIFY(store.commit());
        QFETCH(QByteArray, file);
        QCOMPARE(fileBytes(dir, "05-12-26.pol"), QByteArray("OLD\r\n") + file);
    }

    void shouldStartOnANewLineAfterTornRemains_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("whole lines") << QByteArray("OLD\r\n") << QByteArray("OLD\r\nA\r\n");
        QTest::newRow("killed mid-record") << QByteArray("TOR") << QByteArray("TOR\r\nA\r\n");
        QTest::newRow("killed before LF") << QByteArray("TORN\r") << QByteArray("TORN\r\nA\r\n");
        QTest::newRow("empty file") << QByteArray() << QByteArray("A\r\n");
    }

    void shouldStartOnANewLineAfterTornRemains()
    {
        QFETCH(QByteArray, before);
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        QVERIFY(writeBytes(dir, "05-12-26.pol", before));
        PollStore store(dir, [] { return QDate(2026, 12, 5); });
        QVERIFY(store.append("A"));
        QVERIFY(store.commit());
        QTEST(fileBytes(dir, "05-12-26.pol"), "after");
    }

    void shouldSplitTransferAtMidnight()
    {
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        QList<QDate> days{QDate(2026, 12, 31), QDate(2026, 12, 31), QDate(2027, 1, 1)};
        PollStore store(dir, [&] { return days.takeFirst(); });
        QVERIFY(store.append("late"));
        QVERIFY(store.append("later"));
        QVERIFY(store.append("early"));
        QVERIFY(store.commit());
        QCOMPARE(fileBytes(dir, "31-12-26.pol"), QByteArray("late\r\nlater\r\n"));
        QCOMPARE(fileBytes(dir, "01-01-27.pol"), QByteArray("early\r\n"));
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
        // However the bytes arrive, the same records come out.
        for (qsizetype chunk : {transfer.size() + 1, qsizetype(1), qsizetype(2)}) {
            RecordSplitter splitter;
            QList<QByteArray> records;
            for (qsizetype i = 0; i < transfer.size(); i += chunk)
                splitter.feed(QByteArrayView(transfer).sliced(i, qMin(chunk, transfer.size() - i)),
                              [&](const QByteArray &r) { records << r; });
            QTEST(records, "records");
            QTEST(splitter.fragment(), "fragment");
        }
    }

    void shouldFailTheCommitWhenTheDiskFillsUp()
    {
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        PollStore store(dir, [] { return QDate(2026, 12, 5); });
        QVERIFY(store.append("0123456789"));
        QVERIFY(store.commit());
        // The file-size limit makes the buffered write fail part way, as a full disk would.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 16;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        store.append("this line does not fit");
        const bool committed = store.commit();
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!committed);
        // The failure belongs to that transfer only.
        QVERIFY(store.append("next"));
        QVERIFY(store.commit());
    }
};

QTEST_GUILESS_MAIN(TestPollStore)
#include "tst_pollstore.moc"
