#include "SimFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QThread>

class TestSerialLink : public QObject {
    Q_OBJECT

    static LinkError errorOf(const std::function<void()> &op)
    {
        try {
            op();
        } catch (const SerialError &e) {
            return e.code();
        }
        return LinkError::None;
    }

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
    }

    void shouldReportClosedPortOnEveryOperation()
    {
        SimFixture f;
        QCOMPARE(errorOf([&] { f.link->inBufferCount(); }), LinkError::NotOpen);
        QCOMPARE(errorOf([&] { f.link->input(); }), LinkError::NotOpen);
        QCOMPARE(errorOf([&] { f.link->output("x"); }), LinkError::NotOpen);
        QVERIFY(f.openLink());
        f.link->setPortOpen(false);
        QCOMPARE(errorOf([&] { f.link->inBufferCount(); }), LinkError::NotOpen);
    }

    void shouldReportPortHeldByAnotherProgramAsOtherError()
    {
        SimFixture f;
        QVERIFY(f.openLink());
        SerialLink second(f.dir);
        second.setCommPort(1);
        QCOMPARE(errorOf([&] { second.setPortOpen(true); }), LinkError::Other);
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

    void shouldReportDeviceGoneUnderOpenPort()
    {
        SimFixture f;
        QVERIFY(f.openLink());
        f.terminal.hangUp();
        QThread::msleep(20);
        QCOMPARE(errorOf([&] { f.link->inBufferCount(); }), LinkError::DeviceGone);
        // Stays reported until the operator reopens the port, and the port still counts as open.
        QCOMPARE(errorOf([&] { f.link->output("x"); }), LinkError::DeviceGone);
        QVERIFY(f.link->portOpen());
        f.link->setPortOpen(false);
        QCOMPARE(errorOf([&] { f.link->inBufferCount(); }), LinkError::NotOpen);
    }
};

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
