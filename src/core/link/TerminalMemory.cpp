#include "TerminalMemory.h"

#include "core/link/Exchange.h"

TerminalMemory::CountResult
TerminalMemory::countRecords(const std::function<void(qint64)> &progress)
{
    m_exchange.pauseMs(terminal::kBeforeMemoryCommandMs);
    m_exchange.flushInput();
    if (!m_exchange.wakeTerminal())
        return {};
    if (m_exchange.requestMemory() != Exchange::Wait::Arrived)
        return {Count::Empty, 0};
    qint64 records = 0;
    progress(records);
    // The records are counted, not kept. A terminal that never falls silent is cut off at a
    // size no real memory reaches, so the count cannot hang.
    m_exchange.receiveMemory(terminal::kMaxTransferBytes, [&](QByteArrayView burst) {
        for (const char c : burst)
            if (c == terminal::kLf)
                progress(++records);
    });
    return {Count::Counted, records};
}

bool TerminalMemory::clearMemory()
{
    m_exchange.pauseMs(terminal::kBeforeMemoryCommandMs);
    if (!m_exchange.wakeTerminal())
        return false;
    m_exchange.flushInput();
    m_exchange.sendCommand(terminal::kClearCommand, 0);
    m_exchange.flushInput();
    return true;
}
