// The viewer's free-format item reader.
#include "core/viewer/FreeFormatReader.h"

#include <QList>

#include <cstdlib>

namespace {

QList<QByteArray> readAll(QByteArrayView data, qsizetype split)
{
    QList<QByteArray> items;
    FreeFormatReader reader;
    const auto sink = [&](QByteArrayView item) { items << item.toByteArray(); };
    reader.feed(data.first(split), sink);
    reader.feed(data.sliced(split), sink);
    reader.finish(sink);
    return items;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QByteArray> whole = readAll(bytes, 0);
    // Where the chunks break changes nothing.
    if (size > 0 && readAll(bytes, qsizetype(data[0]) % qsizetype(size)) != whole)
        std::abort();
    qsizetype delimiters = 0, kept = 0;
    for (char c : bytes)
        delimiters += c == ',' || c == '\r' || c == '\n';
    for (const QByteArray &item : whole) {
        // Items never hold a line end, and never more bytes than came in.
        if (item.contains('\r') || item.contains('\n'))
            std::abort();
        kept += item.size();
    }
    if (whole.size() > delimiters + 1 || kept > bytes.size())
        std::abort();
    return 0;
}
