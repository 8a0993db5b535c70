#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>

#include <vector>

// A list of byte strings for a QListView. Entries are kept in blocks of a fixed count, each
// one buffer plus the 4-byte end offset of every entry within it, so a million entries cost
// their bytes and four more each, and no single buffer ever has to be copied whole to grow.
// The memory the list may take is bounded: an entry that would pass the bound is refused,
// so a file of nothing but line ends cannot exhaust the machine.
// Entries are added in batches: add() stores them, commit() shows everything added since the
// last commit with one row insertion, so the view's work does not grow with each entry.
// Bytes are shown one character each (Latin-1), as the terminal's 8-bit text is.
class ByteListModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultMemoryLimit = qint64(1) << 30;

    // A limit above 4 GiB is taken as 4 GiB, which keeps every offset within 32 bits.
    explicit ByteListModel(qint64 memoryLimit = kDefaultMemoryLimit, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // False, and nothing stored, when the entry would take the list past its memory limit.
    bool add(QByteArrayView entry);
    void commit();
    void clear();
    // Entries added so far, shown or not.
    qsizetype size() const { return m_size; }
    QByteArray entry(qsizetype row) const;
    // What the entries' storage has allocated, and what a view keeps per row.
    qint64 memoryUse() const { return m_memory; }
    qint64 memoryLimit() const { return m_limit; }

private:
    static constexpr int kBlockShift = 14;
    static constexpr qsizetype kBlockEntries = qsizetype(1) << kBlockShift;

    struct Block {
        QByteArray bytes;
        std::vector<quint32> ends; // end of each entry within bytes
    };

    QByteArrayView view(qsizetype row) const;
    void startBlock();

    qint64 m_limit;
    std::vector<Block> m_blocks;
    qsizetype m_size = 0;
    qint64 m_memory = 0;
    int m_shown = 0;
};
