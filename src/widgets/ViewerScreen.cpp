#include "ViewerScreen.h"

#include "core/polling/PollStore.h"
#include "core/state/Dialogs.h"
#include "core/state/DisplayText.h"
#include "core/viewer/FileSummary.h"
#include "widgets/Controls.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

namespace {

// The title while no file is chosen.
QString caption()
{
    return ViewerScreen::tr("Visualizza dati");
}

constexpr qint64 kChunkBytes = 1 << 20;
// Long enough to get through a lot of file, short enough that the window stays responsive.
constexpr int kSliceMs = 30;
// Loads that end sooner show no progress bar at all.
constexpr int kProgressAfterMs = 300;

} // namespace

ViewerScreen::ViewerScreen(const QDir &dir, Dialogs &dialogs, QWidget *parent,
                           qint64 itemMemoryLimit)
    : QDialog(parent), m_dir(dir), m_dialogs(dialogs), m_items(itemMemoryLimit)
{
    setObjectName(QStringLiteral("file60"));
    setWindowTitle(caption());
    resize(640, 420);

    auto *grid = new QGridLayout(this);
    auto *heading = named<QLabel>("Label2", this, tr("Files"));
    m_count = named<QLabel>("La1", this, tr("Records"));
    m_files = named<QListWidget>("File1", this);
    m_files->setAccessibleName(tr("Files"));
    m_files->installEventFilter(this);
    m_list = named<QListView>("List1", this);
    m_list->setAccessibleName(tr("Records"));
    m_list->setModel(&m_items);
    m_list->setUniformItemSizes(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_progress = named<QProgressBar>("loadProgress", this);
    m_progress->setRange(0, 1000);
    m_progress->hide();
    grid->addWidget(heading, 0, 0);
    grid->addWidget(m_count, 0, 1);
    grid->addWidget(m_files, 1, 0);
    grid->addWidget(m_list, 1, 1);
    grid->addWidget(m_progress, 2, 0, 1, 2);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(0, 1);

    auto *panel = makePanel("panel3d3", this);
    auto *row = new QHBoxLayout(panel);
    QPushButton *open = named<QPushButton>("Command1", panel, tr("Apri File"));
    QPushButton *remove = named<QPushButton>("Command3", panel, tr("Rimuovi File"));
    QPushButton *exit = named<QPushButton>("Command2", panel, tr("Uscita"));
    for (QPushButton *b : {open, remove, exit}) {
        // Enter means something in the file list only; a default button would make Enter
        // in the item list reopen the file.
        b->setAutoDefault(false);
        row->addWidget(b);
    }
    grid->addWidget(panel, 3, 0, 1, 2);

    connect(open, &QPushButton::clicked, this, &ViewerScreen::Command1_Click);
    connect(remove, &QPushButton::clicked, this, &ViewerScreen::Command3_Click);
    connect(exit, &QPushButton::clicked, this, &ViewerScreen::Command2_Click);
    // Choosing a file, by click or keyboard or by the screen itself, shows its summary.
    connect(m_files, &QListWidget::currentRowChanged, this, &ViewerScreen::File1_Click);
    connect(m_files, &QListWidget::itemClicked, this, &ViewerScreen::File1_Click);
    connect(m_files, &QListWidget::itemDoubleClicked, this, &ViewerScreen::Command1_Click);
    connect(m_list, &QListView::clicked, this, &ViewerScreen::List1_Click);
    connect(&m_slice, &QTimer::timeout, this, &ViewerScreen::loadSlice);
    Form_Load();
}

ViewerScreen::~ViewerScreen() = default;

void ViewerScreen::Form_Load()
{
    refreshFiles();
}

void ViewerScreen::refreshFiles()
{
    m_files->clear();
    m_files->addItems(
        m_dir.entryList({QStringLiteral("*.pol")}, QDir::Files, QDir::Name | QDir::IgnoreCase));
    if (m_files->count() > 0)
        m_files->setCurrentRow(0);
    else
        setWindowTitle(caption()); // no summary of a file that is gone
}

QString ViewerScreen::chosenFile() const
{
    const QListWidgetItem *item = m_files->currentItem();
    return item ? item->text() : QString();
}

void ViewerScreen::File1_Click()
{
    QFile file(m_dir.filePath(chosenFile()));
    // A file gone since the list was read keeps the caption as it was.
    if (chosenFile().isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    setWindowTitle(fileSummary(chosenFile(), file.size()));
}

bool ViewerScreen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_files && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Command1_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ViewerScreen::Command1_Click()
{
    openChosenFile();
}

void ViewerScreen::openChosenFile()
{
    cancelLoad();
    m_items.clear();
    const QString name = chosenFile();
    m_file.setFileName(m_dir.filePath(name));
    // A file gone since the list was read loads as nothing, silently; one that is there but
    // cannot be read is told.
    if (name.isEmpty() || !m_file.open(QIODevice::ReadOnly)) {
        endLoad(!name.isEmpty() && m_file.exists());
        return;
    }
    m_overLimit = false;
    // Items keep nearly every byte of the file: one larger than the list may hold is refused
    // before a byte is read.
    if (m_file.size() > m_items.memoryLimit()) {
        m_file.close();
        refuseLoad();
        return;
    }
    m_progress->setValue(0);
    m_loadClock.start();
    m_slice.start(0);
}

void ViewerScreen::loadSlice()
{
    QElapsedTimer slice;
    slice.start();
    if (m_chunk.size() != kChunkBytes)
        m_chunk.resize(kChunkBytes);
    char *const chunk = m_chunk.data();
    const auto add = [this](QByteArrayView item) { addItem(item); };
    do {
        const qint64 n = m_file.read(chunk, kChunkBytes);
        if (n <= 0) { // the end, or a read error: what was read stays
            endLoad(n < 0);
            return;
        }
        m_reader.feed(QByteArrayView(chunk, n), add);
        if (m_overLimit) {
            refuseLoad();
            return;
        }
    } while (slice.elapsed() < kSliceMs);
    m_items.commit();
    if (m_file.size() > 0)
        m_progress->setValue(int(m_file.pos() * 1000 / m_file.size()));
    if (m_loadClock.elapsed() >= kProgressAfterMs)
        m_progress->show();
}

void ViewerScreen::addItem(QByteArrayView item)
{
    if (!m_overLimit && !m_items.add(item))
        m_overLimit = true;
}

void ViewerScreen::endLoad(bool readFailed)
{
    m_slice.stop();
    m_reader.finish([this](QByteArrayView item) { addItem(item); });
    if (m_overLimit) {
        refuseLoad();
        return;
    }
    m_items.commit();
    m_file.close();
    m_progress->hide();
    m_count->setText(tr("%1 Records").arg(spacedNumber(m_items.size())));
    if (readFailed)
        m_dialogs.critical(kScreenTitle, tr("Errore di lettura del File %1").arg(chosenFile()));
    emit loadFinished();
}

void ViewerScreen::refuseLoad()
{
    // Not a part of the file: the whole of it or nothing, and the memory given back.
    cancelLoad();
    m_items.clear();
    m_count->setText(tr("%1 Records").arg(spacedNumber(0)));
    m_dialogs.critical(kScreenTitle,
                       tr("Il File %1 e' troppo grande per essere visualizzato").arg(chosenFile()));
    emit loadFinished();
}

void ViewerScreen::cancelLoad()
{
    m_slice.stop();
    m_reader = FreeFormatReader();
    m_file.close();
    m_progress->hide();
}

void ViewerScreen::List1_Click(const QModelIndex &index)
{
    if (index.isValid())
        m_count->setText(tr("Record N° %1").arg(spacedNumber(index.row() + 1)));
}

void ViewerScreen::Command3_Click()
{
    removeChosenFile();
}

void ViewerScreen::removeChosenFile()
{
    const QString name = chosenFile();
    if (!m_dialogs.question(kScreenTitle, tr("Rimuovere il File %1 ?").arg(name)))
        return;
    cancelLoad();
    // A file gone already needs no word: the refreshed list shows it.
    QString told;
    switch (name.isEmpty() ? PollStore::Removal::Gone : PollStore::remove(m_dir.filePath(name))) {
    case PollStore::Removal::InUse:
        told = tr("Il File %1 e' in uso per lo scarico dati: non rimosso");
        break;
    case PollStore::Removal::Failed:
        told = tr("Il File %1 non e' stato rimosso");
        break;
    case PollStore::Removal::Unsynced:
        told = tr("Il File %1 e' stato rimosso, ma potrebbe ricomparire dopo un'interruzione "
                  "di corrente");
        break;
    case PollStore::Removal::Removed:
    case PollStore::Removal::Gone:
        break;
    }
    if (!told.isEmpty())
        m_dialogs.critical(kScreenTitle, told.arg(name));
    m_items.clear();
    refreshFiles();
}

void ViewerScreen::Command2_Click()
{
    cancelLoad();
    done(QDialog::Accepted);
}
