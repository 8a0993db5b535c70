// The link to the terminal: the serial port, the exchange's reply reading, the status line.
#include "DataTable.h"
#include "SimFixture.h"
#include "core/link/TerminalStatus.h"

#include <QFile>
#include <QTest>
#include <QThread>

namespace {

LinkError errorOf(const std::function<void()> &op)
{
    try {
        op();
    } catch (const SerialError &e) {
        return e.code();
    }
    return LinkError::None;
}

} // namespace

class TestLink : public QObject {
    Q_OBJECT

private slots:
    void shouldFindPortByLinkOrReportItMissing()
    {
        SimFixture f;
        QCOMPARE(SerialLink::deviceForPort(1, f.dir), f.dir.absoluteFilePath("com1"));
        QCOMPARE(SerialLink::deviceForPort(4, f.dir), QStringLiteral("/dev/ttyS3"));
        // A link to an unplugged adapter names the operator's device all the same.
        QVERIFY(QFile::link("/nonexistent/ttyUSB9", f.dir.filePath("com5")));
        QCOMPARE(SerialLink::deviceForPort(5, f.dir), f.dir.absoluteFilePath("com5"));
        f.link->setCommPort(5);
        QCOMPARE(errorOf([&] { f.link->setPortOpen(true); }), LinkError::InvalidPort);
        QVERIFY(!f.link->portOpen());
        QCOMPARE(errorOf([&] { f.link->setCommPort(17); }), LinkError::InvalidPort);
        // Once opened through its link, the port waits for that link rather than fall back.
        f.link->setCommPort(1);
        QVERIFY(f.openLink());
        f.link->setPortOpen(false);
        QVERIFY(QFile::remove(f.dir.filePath("com1")));
        QCOMPARE(errorOf([&] { f.link->setPortOpen(true); }), LinkError::InvalidPort);
        QCOMPARE(f.link->devicePath(), f.dir.absoluteFilePath("com1"));
    }

    // Every operation on an unusable port says why, until the operator reopens it.
    void shouldSayWhyThePortIsUnusable_data()
    {
        const auto row = table<QString, LinkError>({"how", "error"});
        row("never opened", "closed", LinkError::NotOpen);
        row("closed again", "reclosed", LinkError::NotOpen);
        row("device gone", "gone", LinkError::DeviceGone);
    }

    void shouldSayWhyThePortIsUnusable()
    {
        QFETCH(QString, how);
        SimFixture f;
        if (how != "closed")
            QVERIFY(f.openLink());
        if (how == "reclosed")
            f.link->setPortOpen(false);
        if (how == "gone")
            f.terminal.hangUp();
        QThread::msleep(20);
        QTEST(errorOf([&] { f.link->inBufferCount(); }), "error");
        QTEST(errorOf([&] { f.link->input(); }), "error");
        QTEST(errorOf([&] { f.link->output("x"); }), "error");
        QCOMPARE(f.link->portOpen(), how == "gone"); // a lost device leaves the port open
        f.link->setPortOpen(false);
        QCOMPARE(errorOf([&] { f.link->inBufferCount(); }), LinkError::NotOpen);
    }

    void shouldSeeArrivedBytesWithoutEventLoop()
    {
        SimFixture f;
        QVERIFY(f.openLink());
        f.terminal.inject(QByteArray("abc\x80\xff", 5));
        QVERIFY(f.terminal.waitForIdle(1000));
        QThread::msleep(30);
        QCOMPARE(f.link->inBufferCount(), 5);
        f.link->setInputLen(2);
        QCOMPARE(f.link->input(), QByteArray("ab"));
        f.link->setInputLen(0);
        QCOMPARE(f.link->input(), QByteArray("c\x80\xff", 3));
        QCOMPARE(f.link->inBufferCount(), 0);
        QCOMPARE(f.link->input(), QByteArray());
    }

    void shouldReadReplyLine_data()
    {
        using R = Exchange::StatusReply;
        // leftovers: stale bytes wait before the wake-up, late ones come after its ACK; neither
        // is the answer.
        const auto row = table<QByteArray, int, R, QByteArray, bool>(
            {"reply", "charDelayMs", "expected", "line", "leftovers"});
        row("plain", "ABC\r", 0, R::Line, "ABC", false);
        row("empty line", "\r", 0, R::Line, {}, false);
        row("LF kept, rest left", "A\nB\rC\r", 0, R::Line, "A\nB", false);
        row("all bytes", {"\x00\x80\xff\r", 4}, 0, R::Line, {"\x00\x80\xff", 3}, false);
        row("slow but steady", "12345\r", 400, R::Line, "12345", false);
        // Given up one second after the last character, not after the first.
        row("stops coming", "PART", 300, R::Stopped, "PART", false);
        row("leftovers", "OK\r", 0, R::Line, "OK", true);
        row("endless line", QByteArray(Exchange::kMaxLineLength + 10, 'A'), 0, R::Stopped,
            QByteArray(Exchange::kMaxLineLength, 'A'), false);
    }

    void shouldReadReplyLine()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, charDelayMs);
        QFETCH(bool, leftovers);
        SimFixture f;
        QVERIFY(f.openLink());
        f.terminal.setStatusReplyOverride(reply);
        f.terminal.setReplyCharDelayMs(charDelayMs);
        if (leftovers) {
            f.terminal.setWakeReply(QByteArray("\x06late\r"));
            f.terminal.inject("stale\r");
            QVERIFY(f.terminal.waitForIdle(1000));
            QThread::msleep(20);
        }
        Exchange ex = f.exchange();
        QByteArray got;
        QTEST(ex.requestStatus(got), "expected");
        QTEST(got, "line");
        if (charDelayMs > 0 && !reply.endsWith('\r')) {
            const double afterLastMs =
                (sim::TerminalSim::nowUs() - f.terminal.sent().last().atUs) / 1000.0;
            QVERIFY2(afterLastMs >= 1000 && afterLastMs <= 1080,
                     qPrintable(QString::number(afterLastMs)));
        }
    }

    // The figure that decides whether a transfer starts: 64000 for memory code "6", 32000
    // for any other, less the free-memory field (positions 17-21) read as a number.
    void shouldFigureTheMemoryFromTheStatusLine_data()
    {
        const auto row =
            table<QByteArray, QByteArray, double>({"freeMemory", "memoryCode", "figure"});
        row("empty memory, code 6", "72000", "6", -8000);
        row("empty memory, code 3", "40000", "3", -8000);
        row("full memory, code 6", "00000", "6", 64000);
        row("code 4", "12000", "4", 20000);
        row("no code", "12000", "", 20000);
        row("blank field", "     ", "6", 64000);
        row("minus sign", "-1200", "6", 65200);
        row("plus sign", "+0500", "6", 63500);
        row("exponent E", "1E3  ", "6", 63000);
        row("exponent D", "2d3  ", "6", 62000);
        row("exponent without digits", "12e- ", "6", 63988);
        row("decimal", "12.5 ", "6", 63987.5);
        row("blanks inside", " 1 2 ", "6", 63988);
        row("stops at a letter", "12A45", "6", 63988);
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

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
