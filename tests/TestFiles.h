#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>

// A file's bytes, or "<missing>" when it cannot be read.
inline QByteArray fileBytes(const QDir &dir, const QString &name)
{
    QFile f(dir.filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool writeBytes(const QDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile f(dir.filePath(name));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
