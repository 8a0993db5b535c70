#include "polling/CommitMark.h"

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

constexpr char kTag[] = "corvane-committed 1 ";

} // namespace

QString CommitMark::pathFor(const QString &pollFile)
{
    const QFileInfo info(pollFile);
    return info.dir().filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".committed"));
}

QByteArray CommitMark::newGeneration()
{
    return QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
}

quint64 CommitMark::inodeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

QByteArray CommitMark::toLine() const
{
    return kTag + generation + ' ' + QByteArray::number(inode) + ' ' + QByteArray::number(length) +
           ' ' + QByteArray::number(since) + '\n';
}

std::optional<CommitMark> CommitMark::fromLine(const QByteArray &line)
{
    if (!line.startsWith(kTag) || !line.endsWith('\n'))
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(sizeof kTag - 1).chopped(1).split(' ');
    if (fields.size() != 4 || fields[0].size() != 16)
        return std::nullopt;
    CommitMark mark;
    bool inodeOk = false, lengthOk = false, sinceOk = false;
    mark.generation = fields[0];
    mark.inode = fields[1].toULongLong(&inodeOk);
    mark.length = fields[2].toLongLong(&lengthOk);
    mark.since = fields[3].toLongLong(&sinceOk);
    // Only what a store writes: a number with a sign or leading zeros is not a mark.
    if (!inodeOk || !lengthOk || !sinceOk || mark.length < 0 || mark.since < 0 ||
        mark.toLine() != line)
        return std::nullopt;
    return mark;
}

std::optional<CommitMark> CommitMark::readFor(const QString &pollFile, quint64 inode)
{
    return lookUp(pollFile, inode).mark;
}

MarkLookup CommitMark::lookUp(const QString &pollFile, quint64 inode)
{
    if (inode == 0)
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
    if (!mark || mark->inode != inode)
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
    const QString path = pathFor(pollFile);
    const QByteArray temp = QFile::encodeName(path + QStringLiteral(".new"));
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const QByteArray line = toLine();
    const bool written =
        ::write(fd, line.constData(), size_t(line.size())) == line.size() && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed ||
        std::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return syncFolder(QFileInfo(path).absolutePath());
}
