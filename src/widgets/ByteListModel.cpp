#include "ByteListModel.h"

#include <limits>

namespace {
constexpr qint64 kOffsetLimit = std::numeric_limits<quint32>::max();
constexpr qint64 kOffsetBytes = qint64(sizeof(quint32));
// A QListView keeps layout data per row beside what the model holds (Qt 6.4 with uniform
// item sizes: about 12 bytes, measured over ten million rows). The limit is for the two
// together, the list as the operator has it.
constexpr qint64 kViewBytesPerRow = 12;
} // namespace

ByteListModel::ByteListModel(qint64 memoryLimit, QObject *parent)
    : QAbstractListModel(parent), m_limit(qMin(memoryLimit, kOffsetLimit))
{
}

int ByteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

QVariant ByteListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_shown)
        return {};
    return QString::fromLatin1(view(index.row()));
}

QByteArrayView ByteListModel::view(qsizetype row) const
{
    const Block &block = m_blocks[size_t(row >> kBlockShift)];
    const size_t i = size_t(row & (kBlockEntries - 1));
    const quint32 begin = i == 0 ? 0 : block.ends[i - 1];
    return QByteArrayView(block.bytes).sliced(begin, block.ends[i] - begin);
}

QByteArray ByteListModel::entry(qsizetype row) const
{
    return view(row).toByteArray();
}

bool ByteListModel::add(QByteArrayView entry)
{
    const bool newBlock = (m_size & (kBlockEntries - 1)) == 0;
    // A block's offsets are allocated once, whole, when it starts.
    const qint64 offsets = kViewBytesPerRow + (newBlock ? kBlockEntries * kOffsetBytes : 0);
    const QByteArray *last = newBlock ? nullptr : &m_blocks.back().bytes;
    const qint64 capacity = last ? last->capacity() : 0;
    const qint64 needed = (last ? last->size() : 0) + entry.size();
    qint64 newCapacity = capacity;
    if (needed > capacity) {
        // Doubling, as QByteArray would grow by itself, unless only the exact need fits;
        // growing here is what lets the limit be checked before anything is allocated.
        newCapacity = qMax(needed, 2 * capacity);
        if (m_memory + offsets + newCapacity - capacity > m_limit)
            newCapacity = needed;
    }
    if (m_memory + offsets + newCapacity - capacity > m_limit)
        return false;

    if (newBlock)
        startBlock();
    Block &block = m_blocks.back();
    if (newCapacity > block.bytes.capacity()) {
        m_memory -= block.bytes.capacity();
        block.bytes.reserve(newCapacity);
        m_memory += block.bytes.capacity();
    }
    block.bytes.append(entry);
    block.ends.push_back(quint32(block.bytes.size()));
    m_memory += kViewBytesPerRow;
    ++m_size;
    return true;
}

void ByteListModel::startBlock()
{
    if (!m_blocks.empty()) {
        // The full block gives back what its last doubling did not use.
        QByteArray &full = m_blocks.back().bytes;
        m_memory -= full.capacity();
        full.squeeze();
        m_memory += full.capacity();
    }
    m_blocks.emplace_back();
    m_blocks.back().ends.reserve(size_t(kBlockEntries));
    m_memory += kBlockEntries * kOffsetBytes;
}

void ByteListModel::commit()
{
    // A view counts rows in int; the memory limit keeps the count far below that.
    const int target = int(qMin<qsizetype>(m_size, std::numeric_limits<int>::max()));
    if (target == m_shown)
        return;
    beginInsertRows({}, m_shown, target - 1);
    m_shown = target;
    endInsertRows();
}

void ByteListModel::clear()
{
    beginResetModel();
    m_blocks.clear();
    m_size = 0;
    m_memory = 0;
    m_shown = 0;
    endResetModel();
}
