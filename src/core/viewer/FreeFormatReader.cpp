#include "FreeFormatReader.h"

namespace {
constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kQuote = '"';
constexpr char kComma = ',';
constexpr char kBlank = ' ';
} // namespace

void FreeFormatReader::endItem(const Sink &sink)
{
    sink(m_item);
    m_item.resize(0);
    m_started = false;
    m_state = State::ItemStart;
}

void FreeFormatReader::feed(QByteArrayView chunk, const Sink &sink)
{
    const char *p = chunk.data();
    const char *const end = p + chunk.size();
    while (p < end) {
        const char c = *p;
        switch (m_state) {
        case State::AfterCr:
            m_state = State::ItemStart;
            if (c == kLf) {
                ++p;
                continue;
            }
            continue; // the byte starts the next item
        case State::ItemStart:
            if (c == kBlank) {
                m_started = true;
                ++p;
                continue;
            }
            if (c == kQuote) {
                m_started = true;
                m_state = State::Quoted;
                ++p;
                continue;
            }
            m_state = State::Plain;
            continue; // read as part of a plain item (which may end right here)
        case State::Plain: {
            // Take the run up to the next delimiter in one go.
            const char *q = p;
            while (q < end && *q != kComma && *q != kCr && *q != kLf)
                ++q;
            if (q > p) {
                m_item.append(p, q - p);
                m_started = true;
                p = q;
            }
            if (p < end) {
                const char d = *p++;
                endItem(sink);
                if (d == kCr)
                    m_state = State::AfterCr;
            }
            continue;
        }
        case State::Quoted:
            ++p;
            if (c == kQuote) {
                m_state = State::AfterQuote;
            } else if (c == kCr || c == kLf) {
                endItem(sink);
                if (c == kCr)
                    m_state = State::AfterCr;
            } else {
                m_item.append(c);
            }
            continue;
        case State::AfterQuote:
            ++p;
            if (c == kComma || c == kCr || c == kLf) {
                endItem(sink);
                if (c == kCr)
                    m_state = State::AfterCr;
            }
            continue;
        }
    }
}

void FreeFormatReader::finish(const Sink &sink)
{
    if (m_started && m_state != State::AfterCr)
        endItem(sink);
    m_state = State::ItemStart;
    m_started = false;
    m_item.resize(0);
}
