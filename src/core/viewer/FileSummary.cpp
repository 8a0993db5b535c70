#include "FileSummary.h"

#include "core/state/DisplayText.h"

QString fileSummary(const QString &name, qint64 length)
{
    const QString bytes = spacedNumber(length) + QStringLiteral(" Bytes totali");
    if (name.endsWith(QLatin1String("pol"), Qt::CaseSensitive))
        return QStringLiteral("Scarico su polling del ") + name.left(8) + QStringLiteral("  ") +
               bytes;
    return QStringLiteral("Scarico del ") + name.mid(2, 2) + QLatin1Char('/') + name.mid(0, 2) +
           QStringLiteral(" effettuato alle ") + name.mid(4, 2) + QLatin1Char(':') +
           name.mid(6, 2) + QLatin1Char(':') + name.right(2) + QLatin1Char(',') + bytes;
}
