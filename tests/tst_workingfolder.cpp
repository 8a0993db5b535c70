// The files read from the working folder at start-up, and the folder itself.
#include "DataTable.h"
#include "TestFiles.h"
#include "core/link/PortChoice.h"
#include "core/state/StartupSettings.h"
#include "core/state/WorkingFolder.h"

#include <QFileInfo>
#include <QTest>

class TestWorkingFolder : public QObject {
    Q_OBJECT

private slots:
    // The port stored in portacom; one that cannot be read is replaced by "0" and port 1 is
    // offered, one that can is left as it is, in range or not.
    void shouldLoadStoredPortOrRecreateFile_data()
    {
        // "<none>": no file. Rewritten files hold "0".
        const auto row =
            table<QByteArray, int, QByteArray>({"stored", "expectedPort", "fileAfter"});
        row("missing", "<none>", 1, "0\r\n");
        row("overflow", "99999\r\n", 1, "0\r\n");
        row("decimal point", "3.7\r\n", 1, "0\r\n");
        // Only the head is read: a huge file is no port number.
        row("huge", QByteArray(8 * 1024 * 1024, '7'), 1, "0\r\n");
        row("port 3", "3\r\n", 3, "3\r\n");
        row("no line end", "12", 12, "12");
        row("spaces and rest ignored", " 5 ,9\r\nxyz", 5, " 5 ,9\r\nxyz");
        row("zero kept", "0\r\n", 0, "0\r\n");
        row("17 kept", "17\r\n", 17, "17\r\n");
        row("negative kept", "-4\r\n", -4, "-4\r\n");
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

    void shouldReadValuesUntilFirstBadOne_data()
    {
        const auto row = table<QByteArray, QList<double>>({"file", "values"}); // "<none>": no file
        const QList<double> defaults{59, 0, 5, 9600};
        row("missing", "<none>", defaults);
        row("empty", "", defaults);
        row("one per line", "7\r\n8\r\n9\r\n2400\r\n", {7, 8, 9, 2400});
        row("mixed separators", "7,8\n9\n\n3000", {7, 8, 9, 3000});
        row("speed above range", "1,2,3,19200", {1, 2, 3, 9600});
        row("speed below range", "1,2,3,300", {1, 2, 3, 2400});
        row("stops at text", "1,x,3,4800", {1, 0, 5, 9600});
        row("only two", "-1,-2\r\n", {-1, -2, 5, 9600});
        row("overflow stops", "40000,2,3,4800", defaults);
        row("number with tail", "12abc,2", defaults);
        row("binary", {"\x00\xff\x10,1", 5}, defaults);
        // Only the head of a huge file is read.
        row("huge", "1,2,3,4000," + QByteArray(16 * 1024 * 1024, '9'), {1, 2, 3, 4000});
    }

    void shouldReadValuesUntilFirstBadOne()
    {
        QFETCH(QByteArray, file);
        WorkDir w;
        if (file != "<none>")
            QVERIFY(w.write("kx7p.cfg", file));
        const StartupSettings s = loadStartupSettings(w.dir);
        QTEST((QList<double>{double(s.first), double(s.second), double(s.third), s.speed}),
              "values");
    }

    // The desktop menu's start: the user's folder is made once and reused, never replaced.
    void shouldMakeOrReuseTheUserFolder_data()
    {
        const auto row = table<QString, bool>({"inPlace", "usable"}); // HOME/Corvane beforehand
        for (const char *usable : {"nothing", "folder", "link"})
            row(usable, usable, true);
        for (const char *unusable : {"file", "dangling", "no home"})
            row(unusable, unusable, false);
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
