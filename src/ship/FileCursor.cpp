#include "ship/FileCursor.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace ship {

namespace {

constexpr QByteArrayView kLineEnd("\r\n");

} // namespace

std::optional<QDate> pollDay(const QString &fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d\\d)-(\\d\\d)-(\\d\\d)\\.pol$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto m = pattern.match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate day(2000 + m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    return day.isValid() ? std::optional(day) : std::nullopt;
}

quint64 fnv1a(quint64 hash, const char *data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        hash ^= quint8(data[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

QByteArray Batch::record(qsizetype i) const
{
    const qsizetype start = starts[i] - from.offset;
    const qsizetype end = bytes.indexOf(kLineEnd, start);
    return bytes.mid(start, end - start);
}

FileCursor::FileCursor(QString path, QDate day) : m_path(std::move(path)), m_day(day) {}

QString FileCursor::name() const
{
    return QFileInfo(m_path).fileName();
}

void FileCursor::setShipped(const Position &shipped)
{
    m_shipped = shipped;
    m_next = shipped;
    m_checked = false;
}

FileCursor::Change FileCursor::look()
{
    m_readError.clear();
    struct stat st {};
    const bool found = ::stat(QFile::encodeName(m_path).constData(), &st) == 0;
    if (!found && errno != ENOENT) {
        cannotRead(QString::fromLocal8Bit(std::strerror(errno)));
        return Change::Unreadable;
    }
    if (!found || !S_ISREG(st.st_mode)) {
        m_limit = 0;
        m_checked = false;
        return Change::Gone;
    }
    // Nothing to ship, nothing to judge: a file a store has just made anew is empty for the
    // moment before its mark is written, and the old mark must not speak for it.
    if (st.st_size == 0) {
        m_limit = 0;
        m_checked = false;
        return Change::None;
    }
    const FileId file = FileId::at(m_path);
    const MarkLookup looked = CommitMark::lookUp(m_path, file);
    if (looked.unreadable) {
        cannotRead(QFileInfo(looked.unreadableFile).fileName() + QStringLiteral(": ") +
                   QString::fromLocal8Bit(std::strerror(looked.error)));
        return Change::Unreadable;
    }
    const std::optional<CommitMark> &mark = looked.mark;
    const QByteArray markId = mark ? mark->id : QByteArray();
    m_limit = mark ? std::min<qint64>(mark->length, st.st_size) : st.st_size;
    // A store appending is the common case: same file, same mark, only longer.
    const bool unchanged =
        m_checked && file == m_file && st.st_size >= m_next.offset && markId == m_next.markId;
    m_file = file;
    if (unchanged)
        return Change::None;
    m_checked = true;

    const Position &at = m_shipped;
    Change change = Change::None;
    if (at.generation == 0)
        change = Change::None;
    else if (!at.markId.isEmpty() && mark && markId != at.markId && mark->since == 0)
        change = Change::Rewritten;
    else if (st.st_size < at.offset || prefixHash(at.offset) != at.hash)
        change = Change::Edited;
    // A start that cannot be read is not a changed start.
    if (!m_readError.isEmpty())
        return Change::Unreadable;
    m_replaces = change == Change::Edited ? at.generation : 0;

    if (at.generation == 0)
        m_next = Position{1, markId, 0, kFnvStart};
    else if (change == Change::None)
        m_next = Position{at.generation, markId, at.offset, at.hash};
    else
        m_next = Position{at.generation + 1, markId, 0, kFnvStart};
    return change;
}

std::nullopt_t FileCursor::cannotRead(const QString &why)
{
    m_readError = why;
    m_checked = false;
    return std::nullopt;
}

std::optional<quint64> FileCursor::prefixHash(qint64 length)
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return cannotRead(file.errorString());
    quint64 hash = kFnvStart;
    QByteArray chunk;
    for (qint64 done = 0; done < length;) {
        chunk = file.read(std::min<qint64>(length - done, 1 << 20));
        if (file.error() != QFileDevice::NoError)
            return cannotRead(file.errorString());
        if (chunk.isEmpty())
            return ~m_shipped.hash; // cut shorter since it was looked at
        hash = fnv1a(hash, chunk.constData(), chunk.size());
        done += chunk.size();
    }
    return hash;
}

std::optional<Batch> FileCursor::batch(qint64 maxBytes)
{
    if (!judged() || m_limit <= m_next.offset)
        return std::nullopt;
    m_readError.clear();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_next.offset))
        return cannotRead(file.errorString());
    // Whole lines only: a line longer than the piece read makes the piece grow.
    for (qint64 want = maxBytes;; want *= 2) {
        const QByteArray bytes = file.read(std::min(want, m_limit - m_next.offset));
        if (file.error() != QFileDevice::NoError)
            return cannotRead(file.errorString());
        if (auto b = wholeLines(m_next, bytes)) {
            b->replaces = m_replaces;
            return b;
        }
        if (bytes.size() < want || !file.seek(m_next.offset))
            return std::nullopt;
    }
}

std::optional<Batch> wholeLines(const Position &from, QByteArray bytes)
{
    const qsizetype end = bytes.lastIndexOf(kLineEnd);
    if (end < 0)
        return std::nullopt;
    Batch b;
    b.from = from;
    b.bytes = std::move(bytes);
    b.bytes.truncate(end + kLineEnd.size());
    for (qsizetype at = 0; at < b.bytes.size();) {
        b.starts.append(from.offset + at);
        at = b.bytes.indexOf(kLineEnd, at) + kLineEnd.size();
    }
    b.to = from;
    b.to.offset += b.bytes.size();
    b.to.hash = fnv1a(from.hash, b.bytes.constData(), b.bytes.size());
    return b;
}

qint64 FileCursor::countWaiting()
{
    if (!m_checked || m_limit <= m_next.offset)
        return 0;
    if (m_countedFrom != m_next || m_countedTo > m_limit) {
        m_countedFrom = m_next;
        m_countedTo = m_next.offset;
        m_counted = 0;
    }
    if (m_countedTo >= m_limit)
        return m_counted;
    QFile file(m_path);
    // Unreadable since the last look (its permissions changed): judged again at the next.
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_countedTo)) {
        cannotRead(file.errorString());
        return m_counted;
    }
    for (QByteArray chunk;
         (chunk = file.read(std::min<qint64>(m_limit - m_countedTo, 1 << 20))).size() >= 2;) {
        m_counted += chunk.count(kLineEnd);
        // A CR at the end may begin a line end the next piece finishes.
        m_countedTo += chunk.endsWith('\r') ? chunk.size() - 1 : chunk.size();
        if (!file.seek(m_countedTo))
            break;
    }
    return m_counted;
}

void FileCursor::advancePast(const Batch &batch)
{
    m_shipped = batch.to;
    m_next = batch.to;
    m_replaces = 0;
}

} // namespace ship
