#include "PortChoice.h"

#include <QFile>
#include <QSaveFile>

#include <limits>

namespace portchoice {

namespace {
// Only the first value matters; anything longer than this is not a port number.
constexpr qint64 kMaxReadBytes = 256;
} // namespace

std::optional<int> read(const QDir &dir)
{
    QFile file(dir.filePath(QLatin1String(kFileName)));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.read(kMaxReadBytes);
    qsizetype end = 0;
    while (end < head.size() && head[end] != ',' && head[end] != '\r' && head[end] != '\n')
        ++end;
    const QByteArray value = head.left(end).trimmed();
    if (value.isEmpty())
        return std::nullopt;
    bool ok = false;
    const int number = value.toInt(&ok, 10);
    if (!ok || number < std::numeric_limits<qint16>::min() ||
        number > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return number;
}

bool write(const QDir &dir, int portNumber)
{
    // Written whole or not at all, so a crash never leaves a half-written choice behind.
    QSaveFile file(dir.filePath(QLatin1String(kFileName)));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QByteArray::number(portNumber) + "\r\n");
    return file.commit();
}

int load(const QDir &dir, int currentPortNumber)
{
    if (const auto stored = read(dir))
        return *stored;
    write(dir, currentPortNumber);
    return 1;
}

} // namespace portchoice
