#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

// Splits a data file into items the way classic free-format reading does, fed in chunks of
// any size so a file of any length streams through:
// - an item ends at a comma or at the end of a line (CR LF; a lone CR or LF also ends it);
// - blanks before an item are skipped;
// - an item that starts with a double quote runs to the next double quote, may hold commas,
//   and is kept without the quotes; whatever follows the closing quote up to the next comma
//   or line end is dropped. A quote left open ends at the end of its line, so one stray
//   quote cannot swallow the rest of the file.
// Every other byte, 0x80-0xFF and NUL included, is kept as it is.
class FreeFormatReader {
public:
    using Sink = std::function<void(QByteArrayView item)>;

    void feed(QByteArrayView chunk, const Sink &sink);
    // The end of the data: an item still open is given out.
    void finish(const Sink &sink);

private:
    enum class State { ItemStart, Plain, Quoted, AfterQuote, AfterCr };

    void endItem(const Sink &sink);

    State m_state = State::ItemStart;
    bool m_started = false; // the item has consumed at least one byte
    QByteArray m_item;
};
