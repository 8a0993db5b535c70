// The splitting of a transfer into record lines.
#include "core/polling/RecordSplitter.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    RecordSplitter splitter;
    QByteArray joined;
    // Fed in pieces whose sizes come from the data itself.
    qsizetype at = 0;
    for (qsizetype step = 1; at < bytes.size(); step = step % 7 + 1) {
        const qsizetype n = qMin(step, bytes.size() - at);
        splitter.feed(bytes.sliced(at, n), [&](const QByteArray &record) {
            if (record.contains('\r') || record.contains('\n'))
                std::abort();
            joined += record + '\r';
        });
        at += n;
    }
    // Joining the records again gives back the input less its LFs, the fragment included:
    // nothing is lost and nothing invented.
    QByteArray expected = bytes.toByteArray();
    expected.replace('\n', QByteArray());
    if (joined + splitter.fragment() != expected)
        std::abort();
    return 0;
}
