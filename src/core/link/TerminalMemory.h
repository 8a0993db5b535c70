#pragma once

#include <QtGlobal>

#include <functional>

class Exchange;

// The terminal's record memory, counted or cleared over an exchange. What goes on the line
// is decided here; what the operator sees is the caller's (the progress callback, the
// result). A failed wake-up has already been reported through the exchange's style.
class TerminalMemory {
public:
    explicit TerminalMemory(Exchange &exchange) : m_exchange(exchange) {}

    enum class Count { WakeFailed, Empty, Counted };
    struct CountResult {
        Count outcome = Count::WakeFailed;
        qint64 records = 0;
    };
    // "7" makes the terminal send every record it holds, without forgetting them; the
    // records are counted by their line feeds until the line falls silent. progress(n) runs
    // once with 0 when the records start, then after each record.
    CountResult countRecords(const std::function<void(qint64)> &progress);

    // "6": the terminal forgets every record. False when the wake-up failed.
    bool clearMemory();

private:
    Exchange &m_exchange;
};
