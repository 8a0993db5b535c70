#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>

// A list of byte strings for a QListView, kept as one buffer and the end offset of each
// entry, so a million entries cost their bytes and eight more each. Entries are added in
// batches: add() stores them, commit() shows everything added since the last commit with one
// row insertion, so the view's work does not grow with each entry. Bytes are shown one
// character each (Latin-1), as the terminal's 8-bit text is.
class ByteListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    void add(QByteArrayView entry);
    void commit();
    void clear();
    // Entries added so far, shown or not.
    qsizetype size() const { return m_ends.size(); }
    QByteArray entry(qsizetype row) const;

private:
    QByteArray m_bytes;
    QList<qsizetype> m_ends;
    int m_shown = 0;
};
