#pragma once

#include "core/viewer/FreeFormatReader.h"
#include "widgets/ByteListModel.h"

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

class QLabel;
class QListView;
class QListWidget;
class QProgressBar;
class Dialogs;

// "Visualizza dati": the poll files of the working directory, a summary of the chosen one in
// the caption, its items in a list, and deleting a file. A file loads in slices between
// window events, so a file of a million lines leaves the window usable while it loads.
class ViewerScreen : public QDialog {
    Q_OBJECT
public:
    // A file whose items would take more memory than itemMemoryLimit is refused.
    ViewerScreen(const QDir &dir, Dialogs &dialogs, QWidget *parent = nullptr,
                 qint64 itemMemoryLimit = ByteListModel::kDefaultMemoryLimit);
    ~ViewerScreen() override;

    const ByteListModel &items() const { return m_items; }
    bool isLoading() const { return m_slice.isActive(); }

public slots:
    void File1_Click();                         // a file chosen: its summary in the caption
    void Command1_Click();                      // "Apri File": openChosenFile
    void Command3_Click();                      // "Rimuovi File": removeChosenFile
    void Command2_Click();                      // "Uscita"
    void List1_Click(const QModelIndex &index); // an item: its position in La1

signals:
    // A load has ended, complete or cut short by an unreadable file.
    void loadFinished();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Loads the chosen file's items in slices, or refuses a file the list cannot hold.
    void openChosenFile();
    // Asks, then deletes the chosen file and reads the folder again.
    void removeChosenFile();
    void Form_Load();
    void refreshFiles();
    QString chosenFile() const;
    void loadSlice();
    void addItem(QByteArrayView item);
    // readFailed: the file could not be read to its end, and the operator is told so.
    void endLoad(bool readFailed = false);
    void refuseLoad();
    void cancelLoad();

    QDir m_dir;
    Dialogs &m_dialogs;
    ByteListModel m_items;
    QListWidget *m_files = nullptr;
    QListView *m_list = nullptr;
    QLabel *m_count = nullptr;
    QProgressBar *m_progress = nullptr;
    QFile m_file;
    QByteArray m_chunk; // the read buffer, kept from slice to slice
    FreeFormatReader m_reader;
    bool m_overLimit = false; // an item of this load did not fit
    QTimer m_slice;
    QElapsedTimer m_loadClock;
};
