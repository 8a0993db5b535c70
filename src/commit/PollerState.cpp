#include "commit/PollerState.h"

#include "commit/FileId.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr char kSuffix[] = ".state";
constexpr std::array<const char *, 6> kKeys = {"program",       "state",        "since",
                                               "last_transfer", "last_records", "set_aside"};
// Far more than any state file holds.
constexpr qsizetype kMaxBytes = 1024;

QByteArray timeText(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODate).toLatin1() : QByteArray();
}

// The file open as fd is still the one the name points at.
bool sameFile(int fd, const QByteArray &path)
{
    return FileId::stillNamed(fd, QFile::decodeName(path));
}

} // namespace

QString PollerState::fileName(const QString &terminal)
{
    return QLatin1Char('.') + terminal + QLatin1String(kSuffix);
}

std::optional<QString> PollerState::terminalOf(const QString &fileName)
{
    const QLatin1String suffix(kSuffix);
    if (!fileName.startsWith(QLatin1Char('.')) || !fileName.endsWith(suffix) ||
        fileName.size() <= suffix.size() + 1 || fileName.contains(QLatin1Char('/')))
        return std::nullopt;
    return fileName.mid(1, fileName.size() - suffix.size() - 1);
}

QByteArray PollerState::toText() const
{
    const std::array<QByteArray, kKeys.size()> values = {program.toUtf8(),
                                                         state.toUtf8(),
                                                         timeText(since),
                                                         timeText(lastTransfer),
                                                         QByteArray::number(lastRecords),
                                                         QByteArray::number(setAside)};
    QByteArray text;
    for (std::size_t i = 0; i < kKeys.size(); ++i)
        text += kKeys[i] + ('=' + values[i]) + '\n';
    return text;
}

std::optional<PollerState> PollerState::fromText(const QByteArray &text)
{
    if (!text.endsWith('\n'))
        return std::nullopt;
    const QList<QByteArray> lines = text.chopped(1).split('\n');
    if (lines.size() != qsizetype(kKeys.size()))
        return std::nullopt;
    std::array<QByteArray, kKeys.size()> values;
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const QByteArray key = QByteArray(kKeys[i]) + '=';
        if (!lines[qsizetype(i)].startsWith(key))
            return std::nullopt;
        values[i] = lines[qsizetype(i)].mid(key.size());
    }
    PollerState s;
    s.program = QString::fromUtf8(values[0]);
    s.state = QString::fromUtf8(values[1]);
    s.since = QDateTime::fromString(QString::fromLatin1(values[2]), Qt::ISODate);
    s.lastTransfer = QDateTime::fromString(QString::fromLatin1(values[3]), Qt::ISODate);
    bool recordsOk = false, asideOk = false;
    s.lastRecords = values[4].toLongLong(&recordsOk);
    s.setAside = values[5].toLongLong(&asideOk);
    const bool known = s.state == kPolling || s.state == kTerminalSilent ||
                       s.state == kCommunicationError || s.state == kPortLost ||
                       s.state == kStopped;
    // Only what a writer writes: a time in another zone, a number with a sign or leading
    // zeros, a torn line is not a state.
    if (s.program.isEmpty() || !known || !s.since.isValid() || !recordsOk || !asideOk ||
        s.lastRecords < 0 || s.setAside < 0 || s.toText() != text)
        return std::nullopt;
    return s;
}

std::optional<PollerState> PollerState::read(const QString &path)
{
    const auto terminal = terminalOf(QFileInfo(path).fileName());
    if (!terminal)
        return std::nullopt;
    const QByteArray name = QFile::encodeName(path);
    std::optional<PollerState> state;
    // A writer replaces the file and then lets the old one's lock go: a file found unlocked
    // that is no longer the one named was only left behind, and the named one is read again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return std::nullopt;
        char buffer[kMaxBytes + 1];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        bool running = false;
        if (::flock(fd, LOCK_SH | LOCK_NB) == 0)
            ::flock(fd, LOCK_UN); // nobody holds it
        else
            running = errno == EWOULDBLOCK;
        const bool current = running || sameFile(fd, name);
        ::close(fd);
        if (n < 0 || n > kMaxBytes)
            return std::nullopt;
        state = fromText(QByteArray(buffer, n));
        if (!state)
            return std::nullopt;
        state->terminal = *terminal;
        state->running = running;
        if (current)
            break;
    }
    return state;
}

PollerStateFile::PollerStateFile(const QString &dir, const QString &terminal,
                                 const QString &program)
    : m_path(QDir(dir).filePath(PollerState::fileName(terminal)))
{
    m_state.terminal = terminal;
    m_state.program = program;
}

PollerStateFile::~PollerStateFile()
{
    stop();
}

bool PollerStateFile::setState(const QString &state)
{
    if (m_stopped || state == m_state.state)
        return true;
    m_state.state = state;
    m_state.since = QDateTime::currentDateTimeUtc();
    return write();
}

bool PollerStateFile::setTransferStored(qint64 records)
{
    if (m_stopped)
        return true;
    m_state.lastTransfer = QDateTime::currentDateTimeUtc();
    m_state.lastRecords = records;
    if (records > 0)
        m_state.setAside = 0;
    return write();
}

bool PollerStateFile::setSetAside(qint64 records)
{
    if (m_stopped || records == m_state.setAside)
        return true;
    m_state.setAside = records;
    return write();
}

bool PollerStateFile::stop()
{
    if (m_stopped)
        return true;
    m_state.state = PollerState::kStopped;
    m_state.since = QDateTime::currentDateTimeUtc();
    const bool ok = write();
    m_stopped = true;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    return ok;
}

bool PollerStateFile::heldByAnother() const
{
    const QByteArray name = QFile::encodeName(m_path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool held = false;
    if (m_fd < 0 || !sameFile(m_fd, name))
        held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // and with it the shared lock, if taken
    return held;
}

bool PollerStateFile::write()
{
    // Before the first state there is nothing to say yet.
    if (m_state.state.isEmpty() || heldByAnother())
        return true;
    const QByteArray name = QFile::encodeName(m_path);
    const QByteArray temp = name + ".new";
    const QByteArray text = m_state.toText();
    // No fsync, of the file or the folder: it is the office's view, rewritten at every
    // change, and one that a power cut leaves old or missing costs nothing. Unlike the poll
    // files, nothing is cleared on its word.
    const int fd =
        ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    const auto fail = [&](int why) {
        if (fd >= 0) {
            ::close(fd);
            ::unlink(temp.constData());
        }
        m_error = m_path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(why));
        return false;
    };
    if (fd < 0)
        return fail(errno);
    const ssize_t n = ::write(fd, text.constData(), size_t(text.size()));
    if (n != text.size())
        return fail(n < 0 ? errno : ENOSPC);
    // Locked before its name is given: from the rename on, a reader finds it held.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || std::rename(temp.constData(), name.constData()) != 0)
        return fail(errno);
    // The file replaced goes with its lock; the name points at the new one, locked already.
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    return true;
}
