#include "PollStore.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
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

} // namespace

PollStore::PollStore(QDir dir, Today today) : m_dir(std::move(dir)), m_today(std::move(today)) {}

QString PollStore::fileName(const QDate &date)
{
    return date.toString(QStringLiteral("dd-MM-yy")) + QStringLiteral(".pol");
}

bool PollStore::append(const QByteArray &record)
{
    QFile file(m_dir.filePath(todaysFileName()));
    const bool created = !file.exists();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray line = record + "\r\n";
    bool ok = file.write(line) == line.size() && syncFile(file);
    file.close();
    ok = ok && file.error() == QFileDevice::NoError;
    if (ok && created)
        ok = syncDirectory(m_dir.absolutePath());
    return ok;
}
