#include "commit/CommitMark.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char kTag[] = "corvane-committed 2 ";

// Of the bytes before length, as many as the file has: a few lines' worth. Nothing, with the
// errno in *error, when the file cannot be read.
std::optional<QByteArray> tailOf(const QString &pollFile, qint64 length, int *error)
{
    constexpr qint64 kTailBytes = 64;
    const int fd = ::open(QFile::encodeName(pollFile).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return std::nullopt;
    }
    const qint64 from = qMax<qint64>(0, length - kTailBytes);
    char bytes[kTailBytes];
    qint64 got = 0;
    ssize_t n = 0;
    while (got < length - from &&
           (n = ::pread(fd, bytes + got, size_t(length - from - got), from + got)) > 0)
        got += n;
    *error = n < 0 ? errno : 0;
    ::close(fd);
    if (*error != 0)
        return std::nullopt;
    return QCryptographicHash::hash(QByteArrayView(bytes, got), QCryptographicHash::Sha256)
        .left(8)
        .toHex();
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
    const auto unreadable = [](const QString &path, int error) {
        return MarkLookup{std::nullopt, true, path, error};
    };
    const QString markPath = pathFor(pollFile);
    const int fd = ::open(QFile::encodeName(markPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return error == ENOENT ? MarkLookup{} : unreadable(markPath, error);
    }
    char buffer[128];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    const int error = errno;
    ::close(fd);
    if (n < 0)
        return unreadable(markPath, error);
    auto mark = fromLine(QByteArray(buffer, n));
    if (!mark || mark->file != file)
        return {};
    int tailError = 0;
    const auto tail = tailOf(pollFile, mark->length, &tailError);
    if (!tail)
        return unreadable(pollFile, tailError);
    if (*tail != mark->tail)
        return {};
    return {mark, false};
}

durable::Replaced CommitMark::writeFor(const QString &pollFile) const
{
    CommitMark mark = *this;
    int error = 0;
    const auto tail = tailOf(pollFile, length, &error);
    if (!tail)
        return {};
    mark.tail = *tail;
    const QByteArray line = mark.toLine();
    return durable::replaceFile(pathFor(pollFile), [&](int fd) {
        return ::write(fd, line.constData(), size_t(line.size())) == line.size();
    });
}
