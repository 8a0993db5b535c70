#include "RecordSplitter.h"

#include "core/link/Protocol.h"

void RecordSplitter::feed(QByteArrayView bytes, const Sink &record)
{
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    while (p < end) {
        // The record's characters up to the next CR or LF, in one piece.
        const char *run = p;
        while (run < end && *run != terminal::kCr && *run != terminal::kLf)
            ++run;
        m_line.append(p, run - p);
        p = run;
        if (p == end)
            break;
        if (*p++ == terminal::kCr) {
            record(m_line);
            m_line.resize(0); // keeps its buffer for the next record
        }
    }
}
