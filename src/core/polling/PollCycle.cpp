#include "PollCycle.h"

#include "core/polling/RecordSplitter.h"

#include "core/link/PortGuard.h"
#include "core/link/TerminalStatus.h"

namespace {

ExchangeStyle pollingStyle()
{
    ExchangeStyle style;
    style.title = kScreenTitle;
    style.pausesProcessEvents = true; // keeps a stop request visible while the cycle runs
    style.pauseAfterZeroMs = terminal::kWakeListenBeforeFetchMs;
    style.reportsFailures = false;
    return style;
}

} // namespace

PollCycle::PollCycle(SerialLink &link, PortGuard &port, Dialogs &dialogs, PollStore &store,
                     bool &stopRequested)
    : m_port(port), m_store(store), m_stopRequested(stopRequested),
      m_exchange(link, dialogs, *this, pollingStyle())
{
    setCheckIntervalMs(kDefaultCheckIntervalMs);
    m_lastEvents.start();
}

void PollCycle::setCheckIntervalMs(int ms)
{
    m_checkIntervalMs = ms;
    m_exchange.setWaitCheck(
        [this] {
            keepLive();
            // Asking the port costs system calls: while bytes pour in, once per interval is
            // enough (a read that fails reports the port at once anyway).
            if (!m_lastPortCheck.isValid() || m_lastPortCheck.elapsed() >= m_checkIntervalMs) {
                m_lastPortCheck.start();
                if (!portOk())
                    return false;
            }
            return !m_portFailed && !(m_stopEndsWaits && m_stopRequested);
        },
        qMax(ms, Exchange::kDefaultWaitSliceMs));
}

void PollCycle::keepLive()
{
    if (m_lastEvents.elapsed() < m_checkIntervalMs)
        return;
    emit alive();
    if (m_whileWaiting)
        m_whileWaiting();
    else
        m_exchange.processEventsOnce();
    m_lastEvents.restart();
}

void PollCycle::pause(int ms)
{
    // In slices, each a sign of life: the turn's pauses are its longest stretches.
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = ms; left > 0; left = ms - clock.elapsed()) {
        m_exchange.pauseMs(int(qMin<qint64>(left, kPauseSliceMs)));
        emit alive();
    }
}

bool PollCycle::portOk()
{
    if (m_portFailed)
        return false;
    if (m_port.checkPortUsable())
        return true;
    m_portFailed = true;
    m_port.reportPortUnavailable();
    m_stopRequested = true;
    return false;
}

bool PollCycle::flushInput()
{
    if (!portOk())
        return false;
    m_exchange.flushInput();
    return true;
}

void PollCycle::guarded(const std::function<void()> &step)
{
    // The port failed between two checks: the check now reports it and stops the cycle; a
    // failure that does not last only costs this turn.
    if (!m_port.runGuarded(*this, PortGuard::Midway::NextCheckTells, step))
        portOk();
}

PollCycle::End PollCycle::run()
{
    m_running = true;
    m_portFailed = false;
    struct Running {
        bool &flag;
        ~Running() { flag = false; }
    } running{m_running};
    for (;;) {
        emit alive();
        Outcome outcome = NothingObtained;
        guarded([&] {
            flushInput();
            outcome = pollOnce();
        });
        if (m_stopRequested) {
            unlockControls();
            return End::StopRequested;
        }
        guarded([&] { flushInput(); });
        if (outcome == NothingObtained) {
            emit turnObtainedNothing();
            if (!portOk())
                return End::PortFailed;
            guarded([&] { m_exchange.link().output(" "); });
        }
        guarded([&] { flushInput(); });
        m_exchange.processEventsOnce();
        pause(terminal::kPollHalfTurnMs);
        emit indicatorCleared();
        m_exchange.processEventsOnce();
        pause(terminal::kPollHalfTurnMs);
    }
}

PollCycle::Outcome PollCycle::pollOnce()
{
    if (!portOk())
        return NothingObtained;
    // The turn's first wake-up listens 100 ms after the "0"; the one before a transfer waits
    // the style's 200 ms. Its failures are news on the screen, not messages.
    switch (m_exchange.wake(terminal::kWakeListenMs)) {
    case Exchange::Wake::Abandoned:
        return NothingObtained;
    case Exchange::Wake::Silent:
        emit onLineChanged(false);
        m_exchange.processEventsOnce();
        unlockControls();
        return NothingObtained;
    case Exchange::Wake::WrongReply:
        emit communicationError();
        flushInput();
        unlockControls();
        return NothingObtained;
    case Exchange::Wake::Ready:
        break;
    }

    if (!portOk())
        return NothingObtained;
    m_exchange.sendCommand(terminal::kStatusCommand, 0);
    emit onLineChanged(true);
    m_exchange.processEventsOnce();
    if (m_stopRequested)
        return NothingObtained;

    double memoryFigure = 0;
    Outcome outcome = readStatusReply(memoryFigure);
    if (memoryFigure == TerminalStatus::kEmptyMemoryFigure)
        m_withheldAt.reset(); // emptied (by the operator): a new start
    if (outcome == NothingObtained || memoryFigure == TerminalStatus::kEmptyMemoryFigure) {
        flushInput();
        unlockControls();
        return outcome;
    }
    if (m_stopRequested)
        return outcome;

    outcome = fetchRecords();
    if (m_stopRequested)
        return outcome;
    if (outcome == NothingObtained)
        flushInput();
    // The terminal forgets its records only when every one of them is safely on disk.
    if (outcome == Transferred && m_transferStored)
        clearAfterFetch(memoryFigure);
    unlockControls();
    return outcome;
}

Exchange::Wait PollCycle::readMemoryFigure(double &memoryFigure)
{
    TerminalStatus status;
    const Exchange::Wait w = m_exchange.readReplyLine(status.line);
    if (w == Exchange::Wait::Arrived)
        memoryFigure = status.memoryFigure();
    return w;
}

PollCycle::Outcome PollCycle::readStatusReply(double &memoryFigure)
{
    memoryFigure = 0;
    const Exchange::Wait w = readMemoryFigure(memoryFigure);
    if (w == Exchange::Wait::Abandoned)
        return NothingObtained;
    if (w == Exchange::Wait::TimedOut) {
        emit onLineChanged(false);
        m_exchange.processEventsOnce();
        return NothingObtained;
    }
    emit statusRead(memoryFigure != TerminalStatus::kEmptyMemoryFigure, m_store.todaysFileName());
    m_exchange.processEventsOnce();
    return Answered;
}

PollCycle::Outcome PollCycle::fetchRecords()
{
    flushInput();
    pause(terminal::kBeforeFetchMs);
    if (!m_exchange.wakeTerminal()) {
        unlockControls();
        flushInput();
        return NothingObtained;
    }
    if (!portOk())
        return Answered;

    // Only a stop request (or a port failure) may cut these waits short.
    m_stopEndsWaits = true;
    struct Restore {
        bool &flag;
        ~Restore() { flag = false; }
    } restore{m_stopEndsWaits};

    const Exchange::Wait w = m_exchange.requestMemory();
    if (w == Exchange::Wait::Abandoned)
        return Answered;
    if (w == Exchange::Wait::TimedOut) {
        unlockControls();
        flushInput();
        return NothingObtained;
    }
    lockControls();

    m_transferStored = true;
    m_transferRecords = 0;
    QByteArray line;
    Exchange::Wait end = Exchange::Wait::Abandoned;
    try {
        end = receiveRecords(line);
    } catch (const SerialError &) {
        // The port failed midway: the terminal keeps its memory and sends it all again.
        setTransferAside();
        throw;
    }
    if (end != Exchange::Wait::TimedOut) {
        // Stopped, or a terminal that never fell silent: no clear, so these records come
        // again; a torn record at the end is not kept at all.
        setTransferAside();
        if (end == Exchange::Wait::Abandoned)
            return Answered;
        unlockControls();
        flushInput();
        return Answered;
    }
    // Bytes after the last CR are a record all the same (with the TAB terminator they are the
    // whole transfer): stored like the others, before anything is cleared.
    if (!line.isEmpty())
        storePolledRecord(line);
    // One sync for the whole transfer; the clear waits for it.
    if (!m_store.commit())
        m_transferStored = false;
    unlockControls();
    flushInput();
    emit transferEnded(m_transferStored, m_transferRecords);
    m_exchange.processEventsOnce();
    return Transferred;
}

void PollCycle::setTransferAside()
{
    if (m_transferRecords == 0)
        return;
    const bool kept = m_store.setAside();
    emit transferSetAside(kept, m_transferRecords, m_store.setAsidePath());
}

Exchange::Wait PollCycle::receiveRecords(QByteArray &line)
{
    RecordSplitter splitter;
    const auto store = [this](const QByteArray &record) { storePolledRecord(record); };
    // A terminal that never falls silent: what came up to the limit is kept, its memory left
    // alone.
    const Exchange::Wait end = m_exchange.receiveMemory(m_transferLimit, [&](QByteArrayView burst) {
        splitter.feed(burst, store);
        keepLive();
    });
    line = splitter.fragment();
    return end;
}

void PollCycle::clearAfterFetch(double memoryBefore)
{
    pause(terminal::kBeforeClearMs);
    if (!m_exchange.wakeTerminal() || !flushInput() || !portOk())
        return;
    // "7" sent what the terminal held then, and "6" clears whatever it holds when it comes: a
    // record scanned in between would be wiped unseen. So the terminal must still hold what
    // its status said before the transfer, and the clear follows this status as closely as
    // the protocol allows: only a scan within that one frame can still be lost.
    double memoryNow = 0;
    m_exchange.sendCommand(terminal::kStatusCommand, 0);
    if (readMemoryFigure(memoryNow) != Exchange::Wait::Arrived)
        return;
    // Once a clear was withheld, the terminal is being scanned: it must also have stayed as
    // that status left it, a whole turn earlier. A clear that came as soon as a scan period
    // allowed would meet the next scan in its last frame; scanned faster than the turn, the
    // terminal keeps its records (stored once each) until the scanning pauses.
    if (memoryNow != memoryBefore || (m_withheldAt && *m_withheldAt != memoryBefore)) {
        // Stored all the same: the terminal sends these records again first, and the store,
        // sure that they were never cleared, does not add them twice.
        m_withheldAt = memoryNow;
        emit clearWithheld();
        return;
    }
    m_exchange.sendWrites(
        {QByteArray("!"), QByteArray(1, terminal::kClearCommand), QByteArray("^")},
        terminal::kFrameGapMs);
    // The terminal acts on the CR. Until it goes, a restart may take the next transfer's
    // leading records for these; from here on it may not.
    if (!m_store.clearMayGo())
        return;
    m_exchange.link().output(QByteArray(1, terminal::kCr));
    m_withheldAt.reset();
    emit clearSent();
    flushInput();
}

void PollCycle::storePolledRecord(const QByteArray &line)
{
    bool repeat = false;
    if (!m_store.append(line, &repeat))
        m_transferStored = false;
    ++m_transferRecords;
    // A record stored by an earlier transfer is not news.
    if (m_recordSink && !repeat)
        m_recordSink(line);
}
