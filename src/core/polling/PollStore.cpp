#include "PollStore.h"

#include "commit/FolderId.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <memory>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

bool syncFile(QFile &file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0;
#else
    return true;
#endif
}

// A program killed in the middle of a write can leave a file ending in part of a record. The
// next record must not be glued to it: the remains get a line of their own.
QByteArray lineEndMissing(const QString &path, qint64 size)
{
    if (size == 0)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(size - 1))
        return {};
    const QByteArray last = file.read(1);
    if (last == "\n")
        return {};
    return last == "\r" ? QByteArray("\n") : QByteArray("\r\n");
}

} // namespace

PollStore::PollStore(QDir dir, Today today) : m_dir(std::move(dir)), m_today(std::move(today)) {}

PollStore::~PollStore()
{
    if (!m_parts.empty())
        setAside();
}

PollStore::Today PollStore::systemToday()
{
    struct Day {
        QDate date;
        qint64 fromMs = 0;
        qint64 toMs = -1;
    };
    auto day = std::make_shared<Day>();
    return [day] {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (now < day->fromMs || now >= day->toMs) {
            day->date = QDate::currentDate();
            day->fromMs = day->date.startOfDay().toMSecsSinceEpoch();
            day->toMs = day->date.addDays(1).startOfDay().toMSecsSinceEpoch();
        }
        return day->date;
    };
}

QString PollStore::fileName(const QDate &date)
{
    return date.toString(QStringLiteral("dd-MM-yy")) + QStringLiteral(".pol");
}

QString PollStore::setAsidePath() const
{
    return m_dir.filePath(QLatin1Char('.') + m_terminalName + QStringLiteral(".unfinished"));
}

bool PollStore::append(const QByteArray &record)
{
    const QDate today = m_today();
    if (m_parts.empty() || m_parts.back().date != today) {
        writePending();
        if (!open(today)) {
            m_failed = true;
            return false;
        }
    }
    m_pending.append(record).append("\r\n", 2);
    if (m_pending.size() >= kPendingBytes)
        writePending();
    return !m_failed;
}

bool PollStore::open(const QDate &today)
{
    // The folder's identity, for the shipper; without it (none can be made) the records are
    // stored all the same, and the shipper names the folder by host and path.
    FolderId::ensure(m_dir.path());
    const QString path = m_dir.filePath(fileName(today));
    auto file = std::make_unique<QFile>(path);
    // Buffered here, in large pieces, rather than by QFile in small ones; readable, so that a
    // broken transfer can be copied aside from it.
    if (!file->open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    struct stat st {};
    // One store at a time: another one cutting its transfer back would take ours with it.
    if (::flock(file->handle(), LOCK_EX | LOCK_NB) != 0 || ::fstat(file->handle(), &st) != 0)
        return false;
    const CommitMark::FileId id = CommitMark::fileIdOf(file->handle());
    const MarkLookup found = CommitMark::lookUp(path, id);
    // What is committed cannot be told: nothing is added until it can.
    if (found.unreadable)
        return false;
    qint64 size = st.st_size;
    CommitMark mark;
    if (found.mark && found.mark->length <= size) {
        // Past the mark lies what a store killed before its sync left: records the terminal
        // still holds and sends again, or the torn start of one.
        mark = *found.mark;
        if (size > mark.length && !file->resize(mark.length))
            return false;
        size = mark.length;
    } else {
        // A new file, or one this version never committed to: what it holds stands, and is
        // published (with the file's own name, by the folder's sync) before a byte is added,
        // so that no reader takes the new bytes as committed.
        mark = CommitMark{CommitMark::newId(), id, size, size};
        if (!mark.writeFor(path))
            return false;
        m_pending.append(lineEndMissing(path, size));
    }
    m_parts.push_back(
        Part{std::move(file), today, mark, size, quint64(st.st_dev), quint64(st.st_ino)});
    return true;
}

void PollStore::writePending()
{
    if (!m_pending.isEmpty() &&
        (m_parts.empty() || m_parts.back().file->write(m_pending) != m_pending.size()))
        m_failed = true;
    m_pending.resize(0);
}

bool PollStore::Part::stillNamed() const
{
    struct stat held {};
    struct stat named {};
    return ::fstat(file->handle(), &held) == 0 && held.st_nlink > 0 &&
           ::stat(QFile::encodeName(file->fileName()).constData(), &named) == 0 &&
           quint64(named.st_dev) == device && quint64(named.st_ino) == inode;
}

bool PollStore::publish()
{
    writePending();
    bool ok = !m_failed;
    for (const Part &p : m_parts)
        ok = ok && syncFile(*p.file) && p.file->error() == QFileDevice::NoError && p.stillNamed();
    for (Part &p : m_parts) {
        if (!ok)
            break;
        // Taken as published from here on: a rename that failed to reach the disk may have
        // happened all the same, and is undone with the rest.
        p.mark.length = p.file->size();
        ok = p.mark.writeFor(p.file->fileName());
    }
    // Once more after the folder's sync: a file deleted or moved meanwhile took the records
    // with it, and the terminal must keep them.
    for (const Part &p : m_parts)
        ok = ok && p.stillNamed();
    return ok;
}

void PollStore::cutBack()
{
    for (Part &p : m_parts) {
        if (p.mark.length != p.startSize) {
            p.mark.length = p.startSize;
            p.mark.writeFor(p.file->fileName());
        }
        p.file->resize(p.startSize);
    }
}

void PollStore::closeAll()
{
    m_parts.clear();
    m_pending.resize(0);
    m_failed = false;
}

bool PollStore::commit()
{
    const bool stored = !m_parts.empty();
    const bool ok = publish();
    if (!ok)
        cutBack();
    closeAll();
    // Before the clear, so that no power cut leaves a copy of what the poll file holds.
    if (ok && stored && ::unlink(QFile::encodeName(setAsidePath()).constData()) == 0)
        return CommitMark::syncFolder(m_dir.absolutePath());
    return ok;
}

bool PollStore::setAside()
{
    writePending();
    bool kept = true;
    qint64 bytes = 0;
    for (const Part &p : m_parts)
        bytes += p.file->size() - p.startSize;
    // A break before the first record leaves the last one's records where they are.
    if (bytes > 0) {
        kept = CommitMark::replaceFile(setAsidePath(), [&](int fd) {
            for (const Part &p : m_parts) {
                for (qint64 at = p.startSize; at < p.file->size();) {
                    char chunk[1 << 16];
                    const ssize_t n = ::pread(p.file->handle(), chunk, sizeof chunk, at);
                    if (n <= 0 || ::write(fd, chunk, size_t(n)) != n)
                        return false;
                    at += n;
                }
            }
            return true;
        });
    }
    cutBack();
    closeAll();
    return kept;
}

PollStore::Removal PollStore::remove(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Removal::Failed;
    // Held across the unlink: a store that opens the file meanwhile fails its transfer rather
    // than write into a file about to lose its name.
    Removal result = Removal::InUse;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        result = ::unlink(name.constData()) == 0 ? Removal::Removed : Removal::Failed;
        if (result == Removal::Removed) {
            ::unlink(QFile::encodeName(CommitMark::pathFor(path)).constData());
            CommitMark::syncFolder(QFileInfo(path).absolutePath());
        }
    }
    ::close(fd);
    return result;
}
