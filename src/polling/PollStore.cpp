#include "PollStore.h"

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

// A new file's name lives in its directory: that entry must be on disk too.
bool syncDirectory(const QString &path)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#else
    Q_UNUSED(path);
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
    // Whatever was appended still goes to disk; the terminal has kept it anyway.
    commit();
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

bool PollStore::append(const QByteArray &record)
{
    const QDate today = m_today();
    if (m_file.isOpen() && today != m_fileDate && !syncAndClose())
        m_failed = true;
    if (!m_file.isOpen() && !open(today)) {
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
    const QString path = m_dir.filePath(fileName(today));
    m_file.setFileName(path);
    m_created = !m_file.exists();
    // Buffered here, in large pieces, rather than by QFile in small ones.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    struct stat st {};
    // One store at a time: another one cutting its transfer back would take ours with it.
    if (::flock(m_file.handle(), LOCK_EX | LOCK_NB) != 0 || ::fstat(m_file.handle(), &st) != 0) {
        m_file.close();
        return false;
    }
    qint64 size = st.st_size;
    auto mark = m_created ? std::nullopt : CommitMark::readFor(path, st.st_ino);
    if (mark && mark->length <= size) {
        // Past the mark lies what a store killed before its sync left: records the terminal
        // still holds and sends again, or the torn start of one.
        if (size > mark->length && !m_file.resize(mark->length)) {
            m_file.close();
            return false;
        }
        size = mark->length;
    } else {
        // A new file, or one this version never committed to: what it holds stands, and is
        // published before a byte is added, so that no reader takes the new bytes as committed.
        mark = CommitMark{CommitMark::newGeneration(), quint64(st.st_ino), size, size};
        if (!mark->writeFor(path)) {
            m_file.close();
            return false;
        }
        m_pending.append(lineEndMissing(path, size));
    }
    m_mark = *mark;
    m_fileDate = today;
    m_startSize = size;
    return true;
}

void PollStore::writePending()
{
    if (!m_pending.isEmpty() && m_file.write(m_pending) != m_pending.size())
        m_failed = true;
    m_pending.resize(0);
}

bool PollStore::syncAndClose()
{
    writePending();
    bool ok = !m_failed && syncFile(m_file) && m_file.error() == QFileDevice::NoError;
    if (ok) {
        m_mark.length = m_file.size();
        ok = m_mark.writeFor(m_file.fileName());
    }
    // A transfer that did not make it leaves no torn record behind to be glued to the next
    // one: the terminal sends them all again. Cut while the file is still ours.
    if (!ok)
        m_file.resize(m_startSize);
    m_file.close();
    if (ok && m_created)
        ok = syncDirectory(m_dir.absolutePath());
    m_created = false;
    return ok;
}

bool PollStore::commit()
{
    const bool ok = (!m_file.isOpen() || syncAndClose()) && !m_failed;
    m_failed = false;
    return ok;
}
