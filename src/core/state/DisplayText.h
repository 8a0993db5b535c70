#pragma once

#include <QByteArray>
#include <QString>

// A number as captions join it to text: one leading blank when zero or positive, "-" when
// negative ("  PDT --> COM" + " 3", " 12 Records").
inline QString spacedNumber(qint64 n)
{
    return (n >= 0 ? QStringLiteral(" ") : QString()) + QString::number(n);
}

// Bytes from the terminal as shown on screen: one character per byte, 0x80-0xFF included.
inline QString displayText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}
