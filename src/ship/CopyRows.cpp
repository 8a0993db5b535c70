#include "ship/CopyRows.h"

#include <QtEndian>

namespace ship {

namespace {

constexpr char kSignature[] = "PGCOPY\n\377\r\n";
constexpr qint16 kColumns = 7;
// PostgreSQL counts dates in days from 2000-01-01.
const qint64 kEpochJulianDay = QDate(2000, 1, 1).toJulianDay();

template <typename T> void put(QByteArray &out, T value)
{
    char bytes[sizeof(T)];
    qToBigEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

template <typename T> void field(QByteArray &out, T value)
{
    put<qint32>(out, sizeof(T));
    put<T>(out, value);
}

void bytesField(QByteArray &out, QByteArrayView bytes)
{
    put<qint32>(out, qint32(bytes.size()));
    out.append(bytes);
}

} // namespace

QByteArray copyRows(const RowSource &source, const Batch &batch)
{
    const auto day = qint32(source.day.toJulianDay() - kEpochJulianDay);
    QByteArray out;
    out.reserve(19 + batch.bytes.size() +
                batch.count() *
                    (2 + 7 * 4 + 4 + source.station.size() + source.fileName.size() + 4 + 8 + 4) +
                2);
    out.append(kSignature, sizeof kSignature); // the NUL ends the signature
    put<qint32>(out, 0);                       // flags
    put<qint32>(out, 0);                       // header extension length
    const char *data = batch.bytes.constData();
    for (qsizetype i = 0; i < batch.count(); ++i) {
        const qsizetype start = batch.starts[i] - batch.from.offset;
        const qsizetype end =
            (i + 1 < batch.count() ? batch.starts[i + 1] - batch.from.offset : batch.bytes.size()) -
            2; // the CR LF
        put<qint16>(out, kColumns);
        field<qint32>(out, source.fileId);
        bytesField(out, source.station);
        bytesField(out, source.fileName);
        field<qint32>(out, batch.to.generation);
        field<qint64>(out, batch.starts[i]);
        field<qint32>(out, day);
        bytesField(out, QByteArrayView(data + start, end - start));
    }
    put<qint16>(out, -1);
    return out;
}

} // namespace ship
