#include "TerminalStatus.h"

QByteArray TerminalStatus::field(int first, int last) const
{
    if (first < 1 || last < first || first > line.size())
        return {};
    return line.mid(first - 1, last - first + 1);
}

QString TerminalStatus::firmwareText() const
{
    const QByteArray fw = firmwareField();
    return QStringLiteral("Versione Firmware: ") + displayText(fw.left(1)) + QLatin1Char('.') +
           displayText(fw.mid(1, 1)) + QStringLiteral("  ") + displayText(statusSuffix());
}

QString spacedNumber(qint64 n)
{
    return (n >= 0 ? QStringLiteral(" ") : QString()) + QString::number(n);
}
