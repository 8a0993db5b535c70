#include "TerminalMemory.h"

#include "core/link/Exchange.h"

TerminalMemory::CountResult
TerminalMemory::countRecords(const std::function<void(qint64)> &progress)
{
    m_exchange.pauseMs(200);
    m_exchange.flushInput();
    if (!m_exchange.wakeTerminal())
        return {};
    m_exchange.sendCommand('7', 100);
    if (m_exchange.waitForCharacter() != Exchange::Wait::Arrived)
        return {Count::Empty, 0};
    m_exchange.readCharacter(); // a leading character that carries no data
    qint64 records = 0;
    progress(records);

    // Silence ends the data; a terminal that never falls silent is cut off at a size no real
    // memory reaches, so the count cannot hang.
    for (qint64 received = 0; received < terminal::kMaxTransferBytes; ++received) {
        if (m_exchange.waitForCharacter() != Exchange::Wait::Arrived)
            break;
        if (m_exchange.readCharacter() == terminal::kLf)
            progress(++records);
    }
    return {Count::Counted, records};
}

bool TerminalMemory::clearMemory()
{
    m_exchange.pauseMs(200);
    if (!m_exchange.wakeTerminal())
        return false;
    m_exchange.flushInput();
    m_exchange.sendCommand('6', 0);
    m_exchange.flushInput();
    return true;
}
