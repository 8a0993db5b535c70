#include "DataTable.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "core/polling/PollStore.h"
#include "core/viewer/FileSummary.h"
#include "widgets/ViewerScreen.h"

#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

namespace {

struct ViewerFixture : WorkDir {
    ScriptedDialogs dialogs;
    std::unique_ptr<ViewerScreen> viewer;

    void open(qint64 itemMemoryLimit = ByteListModel::kDefaultMemoryLimit)
    {
        viewer = std::make_unique<ViewerScreen>(dir, dialogs, nullptr, itemMemoryLimit);
        viewer->show();
    }
    QListWidget *files() const { return viewer->findChild<QListWidget *>("File1"); }
    QString label() const { return viewer->findChild<QLabel *>("La1")->text(); }
    QStringList fileNames() const
    {
        QStringList names;
        for (int i = 0; i < files()->count(); ++i)
            names << files()->item(i)->text();
        return names;
    }
    // The items of the file opened by "Apri File", or by open.
    QList<QByteArray> load(const std::function<void()> &open = {})
    {
        QSignalSpy finished(viewer.get(), &ViewerScreen::loadFinished);
        open ? open() : viewer->Command1_Click();
        if (finished.isEmpty())
            finished.wait(30000);
        QList<QByteArray> items;
        for (qsizetype i = 0; i < viewer->items().size(); ++i)
            items << viewer->items().entry(i);
        return items;
    }
};

} // namespace

class TestViewer : public QObject {
    Q_OBJECT

private slots:
    void shouldReadFreeFormatItems_data()
    {
        const auto row = table<QByteArray, QList<QByteArray>>({"data", "items"});
        row("comma and lines", "123,4\r\n567", {"123", "4", "567"});
        row("quoted commas", "\"8001,2\",5\r\n", {"8001,2", "5"});
        row("leading blanks", "  A,  B \r\n", {"A", "B "});
        row("empty lines and trailing comma", "A\r\n\r\nB,\r\n", {"A", "", "B", ""});
        row("open quote ends with its line", "\"ab,c\r\nD", {"ab,c", "D"});
        row("text after the quote dropped", "\"a\"b,c", {"a", "c"});
        row("lone CR and LF", "A\nB\rC\r\n", {"A", "B", "C"});
        row("8-bit and NUL kept", {"\x00\xe0\xff\r\n\x80", 6}, {{"\x00\xe0\xff", 3}, "\x80"});
        row("empty file", "", {});
    }

    void shouldReadFreeFormatItems()
    {
        QFETCH(QByteArray, data);
        QList<QByteArray> items;
        FreeFormatReader reader;
        const auto sink = [&](QByteArrayView item) { items << item.toByteArray(); };
        reader.feed(data, sink);
        reader.finish(sink);
        QTEST(items, "items");
    }

    // A poll file's summary is the screen's caption (below); a time-stamped download file's
    // has the date and time in its name.
    void shouldSummariseTimeStampedFile()
    {
        QCOMPARE(fileSummary("12051432.S07", 1234),
                 "Scarico del 05/12 effettuato alle 14:32:07, 1234 Bytes totali");
    }

    void shouldListSummariseAndLoadPollFiles()
    {
        ViewerFixture f;
        f.open();
        QCOMPARE(f.fileNames(), QStringList());
        QCOMPARE(f.viewer->windowTitle(), QStringLiteral("Visualizza dati"));
        QCOMPARE(f.load(), QList<QByteArray>{});
        QCOMPARE(f.label(), QStringLiteral(" 0 Records"));

        f.write("05-12-26.pol", "123,4\r\n567\r\n");
        f.write("AB.POL", "\"x,y\"\r\n\xe0\xe8\r\n");
        f.write("notes.txt", "z\r\n");
        f.open();
        QCOMPARE(f.fileNames(), (QStringList{"05-12-26.pol", "AB.POL"}));
        QCOMPARE(f.viewer->windowTitle(),
                 QStringLiteral("Scarico su polling del 05-12-26   12 Bytes totali"));
        QCOMPARE(f.load(), (QList<QByteArray>{"123", "4", "567"}));
        QCOMPARE(f.label(), QStringLiteral(" 3 Records"));
        auto *list = f.viewer->findChild<QListView *>("List1");
        f.viewer->List1_Click(list->model()->index(1, 0));
        QCOMPARE(f.label(), QString::fromUtf8("Record N°  2"));

        // Enter in the file list opens the file; 8-bit bytes show as Latin-1 characters. The
        // summary's "pol" test is case-sensitive.
        f.files()->setCurrentRow(1);
        QVERIFY(f.viewer->windowTitle().startsWith("Scarico del .P/AB"));
        QCOMPARE(f.load([&] { QTest::keyClick(f.files(), Qt::Key_Return); }),
                 (QList<QByteArray>{"x,y", "\xe0\xe8"}));
        QCOMPARE(list->model()->index(1, 0).data().toString(), QString::fromUtf8("àè"));

        // Removed behind the viewer's back: the caption stays, the file loads as nothing.
        const QString title = f.viewer->windowTitle();
        QVERIFY(f.dir.remove("AB.POL"));
        f.viewer->File1_Click();
        QCOMPARE(f.viewer->windowTitle(), title);
        QCOMPARE(f.load(), QList<QByteArray>{});
        QCOMPARE(f.label(), QStringLiteral(" 0 Records"));

        // There but failing its first read, or its opening, or its deletion: told.
        QVERIFY(QFile::link("/proc/self/mem", f.dir.filePath("AB.POL")));
        f.load();
        QVERIFY(f.dir.remove("AB.POL") && f.dir.mkdir("AB.POL"));
        f.load();
        f.dialogs.answers = {true};
        f.viewer->Command3_Click();
        const QString unread = "critical| Corvane|Errore di lettura del File AB.POL";
        QCOMPARE(f.dialogs.shown,
                 (QStringList{unread, unread, "question| Corvane|Rimuovere il File AB.POL ?",
                              "critical| Corvane|Il File AB.POL non e' stato rimosso"}));
    }

    // Only when confirmed, and only when no transfer is being written to it; its mark goes
    // with it.
    void shouldDeleteOnlyWhenConfirmedAndFree()
    {
        ViewerFixture f;
        PollStore store(f.dir, [] { return QDate(2026, 12, 5); });
        QVERIFY(store.append("A") && store.commit());
        f.open();
        f.load();
        f.dialogs.answers = {false, true, true};
        f.viewer->Command3_Click();
        QVERIFY(f.dir.exists("05-12-26.pol"));
        QCOMPARE(f.viewer->items().size(), 1);
        QVERIFY(store.append("B"));
        f.viewer->Command3_Click();
        QVERIFY(f.dir.exists("05-12-26.pol"));
        QVERIFY(store.commit() && store.clearMayGo());
        f.viewer->Command3_Click();
        // The folder's identity stays with the folder.
        QCOMPARE(f.dir.entryList(QDir::Files | QDir::Hidden), QStringList{".corvane-folder"});
        QCOMPARE(f.fileNames(), QStringList());
        QCOMPARE(f.files()->currentRow(), -1);
        QCOMPARE(f.viewer->items().size(), 0);
        QCOMPARE(f.viewer->windowTitle(), QStringLiteral("Visualizza dati"));
        const QString ask = "question| Corvane|Rimuovere il File 05-12-26.pol ?";
        QCOMPARE(f.dialogs.shown,
                 (QStringList{ask, ask,
                              "critical| Corvane|Il File 05-12-26.pol e' in uso per lo scarico "
                              "dati: non rimosso",
                              ask}));
    }

    // Two read chunks and many storage blocks: every item lands in its place, unless the
    // items would take more memory than the viewer allows, which refuses the whole file.
    void shouldLoadCompletelyOrRefuse_data()
    {
        const auto row = table<qint64, int>({"limit", "items"});
        // 150,000 items of 7 bytes, 12 bytes a row for the view and 10 blocks of offsets.
        constexpr qint64 kExact = 150'000 * (7 + 12) + 10 * 16384 * 4;
        row("fits", 3'700'000, 150'000);
        row("fits exactly", kExact, 150'000);
        row("one byte short", kExact - 1, 0);
        row("too large", 3'000'000, 0);
        row("file larger than the limit", 1'000'000, 0);
    }

    void shouldLoadCompletelyOrRefuse()
    {
        QFETCH(qint64, limit);
        ViewerFixture f;
        constexpr int kLines = 150'000;
        QByteArray data;
        for (int i = 0; i < kLines; ++i)
            data += QByteArray::number(i).rightJustified(7, '0') + "\r\n";
        f.write("06-12-26.pol", data);
        f.open(limit);
        const QList<QByteArray> items = f.load();
        QTEST(int(items.size()), "items");
        for (int i = 0; i < items.size(); ++i)
            QCOMPARE(items[i], QByteArray::number(i).rightJustified(7, '0'));
        QCOMPARE(f.label(), QStringLiteral(" %1 Records").arg(items.size()));
        QCOMPARE(f.dialogs.shown,
                 items.isEmpty() ? QStringList{"critical| Corvane|Il File 06-12-26.pol e' troppo "
                                               "grande per essere visualizzato"}
                                 : QStringList{});

        // Enter in the item list is no request to open the file again: an opening would have
        // begun by now (a load under way, or a refusal said), whatever it went on to do.
        QTest::keyClick(f.viewer->findChild<QListView *>("List1"), Qt::Key_Return);
        QVERIFY(!f.viewer->isLoading());
        QCOMPARE(f.dialogs.shown.size(), items.isEmpty() ? 1 : 0);
    }
};

QTEST_MAIN(TestViewer)
#include "tst_viewer.moc"
