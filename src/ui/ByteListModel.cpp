#include "ByteListModel.h"

int ByteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

QVariant ByteListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_shown)
        return {};
    return QString::fromLatin1(entry(index.row()));
}

QByteArray ByteListModel::entry(qsizetype row) const
{
    const qsizetype begin = row == 0 ? 0 : m_ends[row - 1];
    return m_bytes.mid(begin, m_ends[row] - begin);
}

void ByteListModel::add(QByteArrayView entry)
{
    m_bytes.append(entry);
    m_ends.append(m_bytes.size());
}

void ByteListModel::commit()
{
    // A view counts rows in int; entries past that stay stored but unshown.
    const int target = int(qMin<qsizetype>(m_ends.size(), std::numeric_limits<int>::max()));
    if (target == m_shown)
        return;
    beginInsertRows({}, m_shown, target - 1);
    m_shown = target;
    endInsertRows();
}

void ByteListModel::clear()
{
    beginResetModel();
    m_bytes.clear();
    m_ends.clear();
    m_shown = 0;
    endResetModel();
}
