#include "TestFiles.h"
#include "state/StartupSettings.h"
#include "state/WorkingFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
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
    }

    void shouldReadValuesUntilFirstBadOne()
    {
        QFETCH(QByteArray, file);
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        if (file != "<none>")
            QVERIFY(writeBytes(dir, "kx7p.cfg", file));
        const StartupSettings s = loadStartupSettings(dir);
        QTEST(int(s.first), "first");
        QTEST(int(s.second), "second");
        QTEST(int(s.third), "third");
        QTEST(s.speed, "speed");
    }

    void shouldIgnoreAllButTheHeadOfAHugeFile()
    {
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        QFile f(dir.filePath("kx7p.cfg"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("1,2,3,4000,");
        f.write(QByteArray(16 * 1024 * 1024, '9'));
        f.close();
        const StartupSettings s = loadStartupSettings(dir);
        QCOMPARE(s.first, qint16(1));
        QCOMPARE(s.speed, 4000.0);
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
        QTemporaryDir home;
        QDir dir(home.path());
        const QString path = dir.filePath("Corvane");
        if (inPlace == "folder") {
            QVERIFY(dir.mkdir("Corvane"));
            QVERIFY(writeBytes(QDir(path), "01-02-26.pol", "kept\r\n"));
        } else if (inPlace == "link") {
            QVERIFY(dir.mkdir("elsewhere"));
            QVERIFY(QFile::link(dir.filePath("elsewhere"), path));
        } else if (inPlace == "file") {
            QVERIFY(writeBytes(dir, "Corvane", "kept"));
        } else if (inPlace == "dangling") {
            QVERIFY(QFile::link(dir.filePath("gone"), path));
        }

        const QString folder =
            workingfolder::ensureUserFolder(inPlace == "no home" ? QString() : home.path());
        QCOMPARE(!folder.isEmpty(), usable);
        if (usable) {
            QCOMPARE(folder, QFileInfo(path).canonicalFilePath());
            QVERIFY(QFileInfo(folder).isDir());
        }
        if (inPlace == "folder")
            QCOMPARE(fileBytes(QDir(path), "01-02-26.pol"), QByteArray("kept\r\n"));
        if (inPlace == "file")
            QCOMPARE(fileBytes(dir, "Corvane"), QByteArray("kept"));
    }
};

QTEST_GUILESS_MAIN(TestStartupSettings)
#include "tst_startupsettings.moc"
