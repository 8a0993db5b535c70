#include "commit/FolderId.h"

#include "commit/CommitMark.h"
#include "commit/Durable.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qsizetype kHexDigits = 32;

QString because(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

enum class Read { Found, Absent, Failed };

Read readId(const QByteArray &path, QByteArray *id, QString *error)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int why = errno;
        *error = because(why);
        return why == ENOENT ? Read::Absent : Read::Failed;
    }
    char buffer[kHexDigits + 2];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    *error = n < 0 ? because(errno) : QString();
    ::close(fd);
    if (n < 0)
        return Read::Failed;
    const QByteArray line(buffer, n);
    static constexpr char kDigits[] = "0123456789abcdef";
    if (line.size() != kHexDigits + 1 || !line.endsWith('\n') ||
        !std::all_of(line.cbegin(), line.cend() - 1,
                     [](char c) { return c && std::strchr(kDigits, c); })) {
        *error = QStringLiteral("not one line of %1 hex digits").arg(kHexDigits);
        return Read::Failed;
    }
    *id = line.chopped(1);
    return Read::Found;
}

// Puts the new id in place unless one is there already: written and synced under a name of
// its own first, so that no reader ever sees a part of it, then linked to the final name,
// which fails if another maker got there first.
bool place(const QByteArray &path, QString *error)
{
    QByteArray id;
    for (int i = 0; i < 2; ++i)
        id += QByteArray::number(QRandomGenerator::system()->generate64(), 16)
                  .rightJustified(16, '0');
    const QByteArray line = id + '\n';
    const QByteArray temp = path + '.' + QByteArray::number(::getpid()) + '.' + CommitMark::newId();
    // As the poll files, by the umask: the shipper reads it through the folder's group.
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = because(errno);
        return false;
    }
    bool ok = ::write(fd, line.constData(), size_t(line.size())) == line.size() && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    int why = errno;
    if (ok && ::link(temp.constData(), path.constData()) != 0) {
        why = errno;
        // A file system without hard links may still rename without replacing.
        ok = why == EEXIST || ((why == EPERM || why == EOPNOTSUPP || why == ENOSYS) &&
                               (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, path.constData(),
                                            RENAME_NOREPLACE) == 0 ||
                                (why = errno) == EEXIST));
    }
    ::unlink(temp.constData());
    if (!ok)
        *error = because(why);
    return ok;
}

} // namespace

QString FolderId::pathIn(const QString &dir)
{
    return QDir(dir).filePath(QStringLiteral(".corvane-folder"));
}

QByteArray FolderId::ensure(const QString &dir, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    QString why;
    QByteArray id;
    const QByteArray path = QFile::encodeName(pathIn(dir));
    Read read = readId(path, &id, &why);
    if (read == Read::Absent) {
        if (!place(path, &why))
            return fail(QStringLiteral("%1 cannot be made (%2)").arg(pathIn(dir), why));
        // Whoever made it first, this maker or another, its id is the one read back.
        read = readId(path, &id, &why);
    }
    if (read != Read::Found)
        return fail(QStringLiteral("%1 cannot be read (%2)").arg(pathIn(dir), why));
    // One that a power cut could take back would make the folder another station after it.
    if (const durable::Synced synced = durable::syncFolder(dir); !synced)
        return fail(QStringLiteral("the folder cannot be synced (%1)").arg(because(synced.error)));
    if (error)
        error->clear();
    return id;
}
