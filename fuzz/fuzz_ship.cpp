// What the shipper reads and writes: a poll file's committed-length mark, and a batch of lines
// as PostgreSQL's binary COPY data.
#include "commit/CommitMark.h"
#include "ship/CopyRows.h"

#include <QtEndian>

#include <cstdlib>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// The record column of every row, read back from the COPY data as the server would.
QList<QByteArray> records(const QByteArray &copy)
{
    QList<QByteArray> out;
    qsizetype at = 19; // signature, flags, extension length
    const auto take = [&](qsizetype n) {
        check(at + n <= copy.size());
        at += n;
        return copy.constData() + at - n;
    };
    for (;;) {
        const qint16 fields = qFromBigEndian<qint16>(take(2));
        if (fields == -1)
            break;
        check(fields == 7);
        for (int f = 0; f < fields; ++f) {
            const qint32 length = qFromBigEndian<qint32>(take(4));
            check(length >= 0);
            const char *value = take(length);
            if (f == 6)
                out << QByteArray(value, length);
        }
    }
    check(at == copy.size());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    // A mark read is one that would be written so.
    if (const auto mark = CommitMark::fromLine(bytes))
        check(mark->toLine() == bytes);

    // Whole lines, as a batch takes them: every record comes back as it was, CR LF apart.
    const ship::Batch batch = ship::wholeLines({1, {}, 1000}, bytes).value_or(ship::Batch{});
    check(bytes.startsWith(batch.bytes) && !bytes.sliced(batch.bytes.size()).contains("\r\n"));
    const QList<QByteArray> back =
        records(ship::copyRows({7, "station", "05-12-26.pol", QDate(2026, 12, 5)}, batch));
    check(back.size() == batch.count());
    QByteArray joined;
    for (const QByteArray &r : back)
        joined += r + "\r\n";
    check(joined == batch.bytes);
    return 0;
}
