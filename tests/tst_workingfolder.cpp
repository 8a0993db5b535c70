#include "TestFiles.h"
#include "link/PortChoice.h"
#include "state/WorkingFolder.h"

#include <QFileInfo>
#include <QTest>

class TestWorkingFolder : public QObject {
    Q_OBJECT

private slots:
    // The port stored in portacom; one that cannot be read is replaced by "0" and port 1 is
    // offered, one that can is left as it is, in range or not.
    void shouldLoadStoredPortOrRecreateFile_data()
    {
        QTest::addColumn<QByteArray>("stored"); // "<none>": no file
        QTest::addColumn<int>("expectedPort");
        QTest::addColumn<QByteArray>("fileAfter");

        QTest::newRow("missing") << QByteArray("<none>") << 1 << QByteArray("0\r\n");
        QTest::newRow("overflow") << QByteArray("99999\r\n") << 1 << QByteArray("0\r\n");
        QTest::newRow("decimal point") << QByteArray("3.7\r\n") << 1 << QByteArray("0\r\n");
        // Only the head is read: a huge file is no port number.
        QTest::newRow("huge") << QByteArray(8 * 1024 * 1024, '7') << 1 << QByteArray("0\r\n");
        QTest::newRow("port 3") << QByteArray("3\r\n") << 3 << QByteArray("3\r\n");
        QTest::newRow("no line end") << QByteArray("12") << 12 << QByteArray("12");
        QTest::newRow("spaces and rest ignored")
            << QByteArray(" 5 ,9\r\nxyz") << 5 << QByteArray(" 5 ,9\r\nxyz");
        QTest::newRow("zero kept") << QByteArray("0\r\n") << 0 << QByteArray("0\r\n");
        QTest::newRow("17 kept") << QByteArray("17\r\n") << 17 << QByteArray("17\r\n");
        QTest::newRow("negative kept") << QByteArray("-4\r\n") << -4 << QByteArray("-4\r\n");
    }

    void shouldLoadStoredPortOrRecreateFile()
    {
        QFETCH(QByteArray, stored);
        WorkDir w;
        if (stored != "<none>")
            QVERIFY(w.write("portacom", stored));
        QTEST(portchoice::load(w.dir, 0), "expectedPort");
        QTEST(w.read("portacom"), "fileAfter");
    }

    // The desktop menu's start: the user's folder is made once and reused, never replaced.
    void shouldMakeOrReuseTheUserFolder_data()
    {
        QTest::addColumn<QString>("inPlace"); // what HOME/Corvane is beforehand
        QTest::addColumn<bool>("usable");

        QTest::newRow("missing") << "nothing" << true;
        QTest::newRow("folder with poll files") << "folder" << true;
        QTest::newRow("link to a folder") << "link" << true;
        QTest::newRow("a file in its place") << "file" << false;
        QTest::newRow("dangling link") << "dangling" << false;
        QTest::newRow("no home") << "no home" << false;
    }

    void shouldMakeOrReuseTheUserFolder()
    {
        QFETCH(QString, inPlace);
        QFETCH(bool, usable);
        WorkDir home;
        const QString path = home.dir.filePath("Corvane");
        if (inPlace == "folder") {
            QVERIFY(home.dir.mkdir("Corvane"));
            QVERIFY(writeBytes(QDir(path), "01-02-26.pol", "kept\r\n"));
        } else if (inPlace == "link") {
            QVERIFY(home.dir.mkdir("elsewhere"));
            QVERIFY(QFile::link(home.dir.filePath("elsewhere"), path));
        } else if (inPlace == "file") {
            QVERIFY(home.write("Corvane", "kept"));
        } else if (inPlace == "dangling") {
            QVERIFY(QFile::link(home.dir.filePath("gone"), path));
        }

        const QString folder =
            workingfolder::ensureUserFolder(inPlace == "no home" ? QString() : home.dir.path());
        QCOMPARE(!folder.isEmpty(), usable);
        if (usable) {
            QCOMPARE(folder, QFileInfo(path).canonicalFilePath());
            QVERIFY(QFileInfo(folder).isDir());
        }
        if (inPlace == "folder")
            QCOMPARE(fileBytes(QDir(path), "01-02-26.pol"), QByteArray("kept\r\n"));
        if (inPlace == "file")
            QCOMPARE(home.read("Corvane"), QByteArray("kept"));
    }
};

QTEST_GUILESS_MAIN(TestWorkingFolder)
#include "tst_workingfolder.moc"
