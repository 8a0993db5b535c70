#include "PollStore.h"

#include "commit/Durable.h"
#include "commit/FileId.h"
#include "commit/FolderId.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr char kUnclearedTag[] = "corvane-uncleared 1 ";
// The records a transfer may repeat are read back and compared: beyond this much they are not
// guarded, and a restart right before their clear stores them again (twice, never lost).
constexpr qint64 kMaxUnclearedBytes = 1 << 20;

bool syncFile(QFile &file)
{
    return file.flush() && ::fsync(file.handle()) == 0;
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
    if (m_part)
        setAside();
    // Once more, with nobody left to tell: the failed transfer was reported as not stored.
    leftoversGone();
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

QString PollStore::unclearedPath() const
{
    return m_dir.filePath(QLatin1Char('.') + m_terminalName + QStringLiteral(".uncleared"));
}

bool PollStore::append(const QByteArray &record, bool *repeat)
{
    if (!m_begun) {
        m_begun = true;
        m_repeated = 0;
    }
    if (repeat)
        *repeat = false;
    if (m_matching) {
        // The terminal was not told to forget what the last commit stored, so it sends those
        // records again first: they are in the poll file already.
        const QByteArray old = repeatable();
        const qsizetype n = record.size() + 2;
        if (m_matched + n <= old.size() && QByteArrayView(old).sliced(m_matched, n - 2) == record &&
            QByteArrayView(old).sliced(m_matched + n - 2, 2) == "\r\n") {
            m_matched += n;
            ++m_repeated;
            if (repeat)
                *repeat = true;
            return true;
        }
        m_matching = false;
    }
    if (!m_part && !open(m_today())) {
        m_failed = true;
        return false;
    }
    m_pending.append(record).append("\r\n", 2);
    if (m_pending.size() >= kPendingBytes)
        writePending();
    return !m_failed;
}

bool PollStore::open(const QDate &today)
{
    if (!leftoversGone())
        return false;
    // The folder's identity, for the shipper; without it (none can be made) the records are
    // stored all the same, and the shipper names the folder by host and path. Once a store:
    // it syncs the folder.
    if (!m_hasFolderId)
        m_hasFolderId = !FolderId::ensure(m_dir.path()).isEmpty();
    const QString path = m_dir.filePath(fileName(today));
    auto file = std::make_unique<QFile>(path);
    // Buffered here, in large pieces, rather than by QFile in small ones; readable, so that a
    // broken transfer can be copied aside from it.
    if (!file->open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    // One store at a time: another one cutting its transfer back would take ours with it.
    if (::flock(file->handle(), LOCK_EX | LOCK_NB) != 0)
        return false;
    const FileId id = FileId::of(file->handle());
    const MarkLookup found = CommitMark::lookUp(path, id);
    // What is committed cannot be told: nothing is added until it can.
    if (found.unreadable)
        return false;
    qint64 size = file->size();
    CommitMark mark;
    const bool marked = found.mark && found.mark->length <= size;
    if (marked) {
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
    }
    // Torn remains get their line end as part of what is committed, before the transfer: a
    // transfer cut back must not leave the next record glued to them.
    const QByteArray lineEnd = lineEndMissing(path, size);
    if (!lineEnd.isEmpty()) {
        if (file->write(lineEnd) != lineEnd.size() || !syncFile(*file))
            return false;
        size += lineEnd.size();
        mark.length = size;
    }
    if ((!marked || !lineEnd.isEmpty()) && !mark.writeFor(path))
        return false;
    m_part = Part{std::move(file), mark, size, id};
    return true;
}

void PollStore::writePending()
{
    if (m_pending.isEmpty())
        return;
    if (!m_part || m_part->file->write(m_pending) != m_pending.size())
        m_failed = true;
    else
        m_part->written += m_pending.size();
    m_pending.resize(0);
}

bool PollStore::publish()
{
    writePending();
    if (!m_part)
        return !m_failed;
    Part &p = *m_part;
    const auto stillNamed = [&p] {
        return FileId::stillNamed(p.file->handle(), p.file->fileName());
    };
    // A file cut short meanwhile (by hand) lost some of these bytes: nothing is committed.
    bool ok = !m_failed && syncFile(*p.file) && p.file->error() == QFileDevice::NoError &&
              p.file->size() == p.startSize + p.written && stillNamed();
    if (ok) {
        // Taken as published from here on: a mark in place is read whether or not its folder
        // synced, and a rename that failed may have happened all the same; either is undone
        // with the rest.
        p.mark.length = p.file->size();
        ok = bool(p.mark.writeFor(p.file->fileName()));
    }
    // Once more after the folder's sync: a file deleted or moved meanwhile took the records
    // with it, and the terminal must keep them.
    return ok && stillNamed();
}

void PollStore::cutBack()
{
    if (m_part && !cutBack(*m_part))
        m_uncut = std::move(m_part);
}

bool PollStore::cutBack(Part &p)
{
    // Never longer than it is: a file cut short by hand is not padded out to where it was.
    const qint64 to = qMin(p.startSize, p.file->size());
    if (p.mark.length != to) {
        CommitMark back = p.mark;
        back.length = to;
        // In place will do: no clear goes before the folder's next sync (clearMayGo). Nor
        // does a mark that stays ahead matter once the file is cut: it no longer ends its
        // committed part with the tail the mark names, so it applies to nothing, and the next
        // open publishes a new one before adding a byte.
        if (back.writeFor(p.file->fileName()).inPlace)
            p.mark.length = to;
    }
    return p.file->size() <= to || p.file->resize(to);
}

bool PollStore::leftoversGone()
{
    if (m_uncut && cutBack(*m_uncut))
        m_uncut.reset();
    return !m_uncut;
}

void PollStore::closeAll()
{
    m_part.reset();
    m_pending.resize(0);
    m_failed = false;
    m_matched = 0;
    m_matching = true;
    m_begun = false;
}

bool PollStore::commit()
{
    const bool ok = publish();
    if (!ok)
        cutBack();
    else if (m_part) {
        noteUncleared(*m_part);
        // A copy of what the poll file now holds. Its removal is made durable by the
        // folder's sync before the clear (clearMayGo).
        ::unlink(QFile::encodeName(setAsidePath()).constData());
    }
    closeAll();
    return ok;
}

QByteArray PollStore::Uncleared::toLine() const
{
    return kUnclearedTag + QFile::encodeName(fileName) + ' ' + QByteArray::number(id.inode) + ' ' +
           QByteArray::number(id.birth) + ' ' + QByteArray::number(start) + ' ' +
           QByteArray::number(end) + '\n';
}

std::optional<PollStore::Uncleared> PollStore::Uncleared::fromLine(const QByteArray &line)
{
    if (!line.startsWith(kUnclearedTag) || !line.endsWith('\n'))
        return std::nullopt;
    const QList<QByteArray> f = line.mid(sizeof kUnclearedTag - 1).chopped(1).split(' ');
    if (f.size() != 5)
        return std::nullopt;
    Uncleared u{QFile::decodeName(f[0]),
                {f[1].toULongLong(), f[2].toLongLong()},
                f[3].toLongLong(),
                f[4].toLongLong(),
                {}};
    // A torn or foreign line: no note.
    if (u.fileName.contains(QLatin1Char('/')) || u.start < 0 || u.end <= u.start)
        return std::nullopt;
    return u;
}

void PollStore::noteUncleared(const Part &p)
{
    const QString name = p.file->fileName();
    Uncleared next{QFileInfo(name).fileName(), p.id, p.startSize, p.mark.length, {}};
    // The terminal now holds the repeated records and these after them: one guard when they
    // lie side by side in one file.
    const bool joined =
        m_matched == 0 ||
        (m_uncleared && m_uncleared->fileName == next.fileName && m_uncleared->id == next.id &&
         m_uncleared->end == next.start && m_matched == m_uncleared->end - m_uncleared->start);
    if (joined && m_matched > 0)
        next.start = m_uncleared->start;
    m_uncleared.reset();
    const QByteArray line = next.toLine();
    const QByteArray path = QFile::encodeName(unclearedPath());
    if (joined && next.end - next.start <= kMaxUnclearedBytes) {
        // Not synced: the commit it speaks of is durable already, and a note a power cut
        // tore or lost only costs a repeat.
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool written =
            fd >= 0 && ::write(fd, line.constData(), size_t(line.size())) == line.size();
        if (fd >= 0 && ::close(fd) == 0 && written) {
            m_uncleared = next;
            return;
        }
    }
    // What the note said no longer holds; a stale one brought back by a power cut could make
    // a restart skip records the terminal no longer has. A sync that fails here leaves it to
    // clearMayGo's, which the clear waits for.
    if (::unlink(path.constData()) == 0)
        durable::syncFolder(m_dir.absolutePath());
}

QByteArray PollStore::repeatable()
{
    if (!m_unclearedRead) {
        m_unclearedRead = true;
        QFile note(unclearedPath());
        m_uncleared =
            Uncleared::fromLine(note.open(QIODevice::ReadOnly) ? note.read(512) : QByteArray());
    }
    if (!m_uncleared || !m_uncleared->bytes.isEmpty())
        return m_uncleared ? m_uncleared->bytes : QByteArray();
    // Only what that very file still holds as committed can stand for a repeated record.
    const QString path = m_dir.filePath(m_uncleared->fileName);
    QFile file(path);
    std::optional<CommitMark> mark;
    if (file.open(QIODevice::ReadOnly) && FileId::of(file.handle()) == m_uncleared->id)
        mark = CommitMark::readFor(path, m_uncleared->id);
    if (mark && mark->length >= m_uncleared->end && file.seek(m_uncleared->start))
        m_uncleared->bytes = file.read(m_uncleared->end - m_uncleared->start);
    if (m_uncleared->bytes.size() != m_uncleared->end - m_uncleared->start ||
        !m_uncleared->bytes.endsWith("\r\n"))
        m_uncleared.reset();
    return m_uncleared ? m_uncleared->bytes : QByteArray();
}

bool PollStore::clearMayGo()
{
    const QByteArray note = QFile::encodeName(unclearedPath());
    const bool gone = ::unlink(note.constData()) == 0 || errno == ENOENT;
    // One sync of the folder makes durable both the note's removal and every name the commit
    // changed (the copy of a transfer kept aside).
    if (!gone || !durable::syncFolder(m_dir.absolutePath()))
        return false;
    m_uncleared.reset();
    m_unclearedRead = true;
    return true;
}

bool PollStore::setAside()
{
    writePending();
    bool kept = true;
    // A break before the first record leaves the last one's records where they are.
    if (m_part && m_part->file->size() > m_part->startSize) {
        const Part &p = *m_part;
        const durable::Replaced copied = durable::replaceFile(setAsidePath(), [&](int fd) {
            for (qint64 at = p.startSize; at < p.file->size();) {
                char chunk[1 << 16];
                const ssize_t n = ::pread(p.file->handle(), chunk, sizeof chunk, at);
                if (n <= 0 || ::write(fd, chunk, size_t(n)) != n)
                    return false;
                at += n;
            }
            return true;
        });
        kept = copied.inPlace;
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
        return errno == ENOENT ? Removal::Gone : Removal::Failed;
    // Held across the unlink: a store that opens the file meanwhile fails its transfer rather
    // than write into a file about to lose its name.
    Removal result = Removal::InUse;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        result = ::unlink(name.constData()) == 0 ? Removal::Removed
                 : errno == ENOENT               ? Removal::Gone
                                                 : Removal::Failed;
        if (result == Removal::Removed) {
            // A mark left behind applies to no other file: it names this one's inode, birth
            // time and committed tail.
            ::unlink(QFile::encodeName(CommitMark::pathFor(path)).constData());
            if (!durable::syncFolder(QFileInfo(path).absolutePath()))
                result = Removal::Unsynced;
        }
    }
    ::close(fd);
    return result;
}
