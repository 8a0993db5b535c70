#include "FileSummary.h"

#include "core/state/DisplayText.h"

#include <QCoreApplication>

QString fileSummary(const QString &name, qint64 length)
{
    // Each text filled by one arg() call, so a '%' in a file name is left as it is.
    const QString bytes =
        QCoreApplication::translate("FileSummary", "%1 Bytes totali").arg(spacedNumber(length));
    if (name.endsWith(QLatin1String("pol"), Qt::CaseSensitive))
        return QCoreApplication::translate("FileSummary", "Scarico su polling del %1  %2")
            .arg(name.left(8), bytes);
    return QCoreApplication::translate("FileSummary",
                                       "Scarico del %1/%2 effettuato alle %3:%4:%5,%6")
        .arg(name.mid(2, 2), name.mid(0, 2), name.mid(4, 2), name.mid(6, 2), name.right(2), bytes);
}
