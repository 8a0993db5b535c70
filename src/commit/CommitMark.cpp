#include "commit/CommitMark.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kTag[] = "corvane-committed 2 ";

// Of the bytes before length, as many as the file has: a few lines' worth.
std::optional<QByteArray> tailOf(const QString &pollFile, qint64 length)
{
    constexpr qint64 kTailBytes = 64;
    QFile file(pollFile);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(qMax<qint64>(0, length - kTailBytes)))
        return std::nullopt;
    const QByteArray bytes = file.read(qMin(length, kTailBytes));
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).left(8).toHex();
}

CommitMark::FileId fileIdAt(int dirFd, const char *path, int flags)
{
    struct statx st {};
    if (::statx(dirFd, path, flags, STATX_INO | STATX_BTIME, &st) != 0)
        return {};
    const qint64 birth = (st.stx_mask & STATX_BTIME)
                             ? qint64(st.stx_btime.tv_sec) * 1000000000 + st.stx_btime.tv_nsec
                             : 0;
    return {quint64(st.stx_ino), birth};
}

} // namespace

QString CommitMark::pathFor(const QString &pollFile)
{
    const QFileInfo info(pollFile);
    return info.dir().filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".committed"));
}

QByteArray CommitMark::newId()
{
    return QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
}

CommitMark::FileId CommitMark::fileIdOf(const QString &path)
{
    return fileIdAt(AT_FDCWD, QFile::encodeName(path).constData(), 0);
}

CommitMark::FileId CommitMark::fileIdOf(int fd)
{
    return fileIdAt(fd, "", AT_EMPTY_PATH);
}

QByteArray CommitMark::toLine() const
{
    return kTag + id + ' ' + QByteArray::number(file.inode) + ' ' + QByteArray::number(file.birth) +
           ' ' + QByteArray::number(length) + ' ' + QByteArray::number(since) + ' ' + tail + '\n';
}

std::optional<CommitMark> CommitMark::fromLine(const QByteArray &line)
{
    if (!line.startsWith(kTag) || !line.endsWith('\n'))
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(sizeof kTag - 1).chopped(1).split(' ');
    if (fields.size() != 6 || fields[0].size() != 16 || fields[5].size() != 16)
        return std::nullopt;
    CommitMark mark;
    bool inodeOk = false, birthOk = false, lengthOk = false, sinceOk = false;
    mark.id = fields[0];
    mark.file.inode = fields[1].toULongLong(&inodeOk);
    mark.file.birth = fields[2].toLongLong(&birthOk);
    mark.length = fields[3].toLongLong(&lengthOk);
    mark.since = fields[4].toLongLong(&sinceOk);
    mark.tail = fields[5];
    // Only what a store writes: a number with a sign or leading zeros is not a mark.
    if (!inodeOk || !birthOk || !lengthOk || !sinceOk || mark.length < 0 || mark.since < 0 ||
        mark.toLine() != line)
        return std::nullopt;
    return mark;
}

std::optional<CommitMark> CommitMark::readFor(const QString &pollFile, FileId file)
{
    return lookUp(pollFile, file).mark;
}

MarkLookup CommitMark::lookUp(const QString &pollFile, FileId file)
{
    // Without a birth time (a file system that keeps none gives 0 for every file) the inode
    // and the committed tail's digest must do: a mark that no longer applies is rarer so
    // than no mark at all, which would take a killed store's torn tail for records.
    if (file.inode == 0)
        return {};
    const int fd = ::open(QFile::encodeName(pathFor(pollFile)).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {std::nullopt, errno != ENOENT};
    char buffer[128];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n < 0)
        return {std::nullopt, true};
    auto mark = fromLine(QByteArray(buffer, n));
    if (!mark || mark->file != file)
        return {};
    const auto tail = tailOf(pollFile, mark->length);
    if (!tail)
        return {std::nullopt, true};
    if (*tail != mark->tail)
        return {};
    return {mark, false};
}

bool CommitMark::syncFolder(const QString &dirPath)
{
    const int fd =
        ::open(QFile::encodeName(dirPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool CommitMark::writeFor(const QString &pollFile) const
{
    CommitMark mark = *this;
    const auto tail = tailOf(pollFile, length);
    if (!tail)
        return false;
    mark.tail = *tail;
    const QByteArray line = mark.toLine();
    return replaceFile(pathFor(pollFile), [&](int fd) {
        return ::write(fd, line.constData(), size_t(line.size())) == line.size();
    });
}

bool CommitMark::replaceFile(const QString &path, const std::function<bool(int)> &fill)
{
    const QByteArray temp = QFile::encodeName(path + QStringLiteral(".new"));
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = fill(fd) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed ||
        std::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return syncFolder(QFileInfo(path).absolutePath());
}
