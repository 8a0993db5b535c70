#pragma once

#include "core/link/Exchange.h"
#include "core/polling/PollStore.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <optional>

class Dialogs;
class PortGuard;

// The polling cycle without a window: about once a second it wakes the terminal, reads its
// status and, when it holds records, fetches them into the day's poll file, then clears it
// once every record is on disk. What happens is reported through the signals; the polling
// screen shows them, the headless poller logs them.
class PollCycle : public QObject, public ControlLock {
    Q_OBJECT
public:
    // StopRequested: the stop flag was seen, set by a request or by a port failure found
    // within the turn. PortFailed: the port failed between turns.
    enum class End { StopRequested, PortFailed };

    // stopRequested is the stop flag the cycle checks at its safe points; the store receives
    // every record.
    PollCycle(SerialLink &link, PortGuard &port, Dialogs &dialogs, PollStore &store,
              bool &stopRequested);

    // Runs turns until a stop is requested or the port fails. Pauses and waits run the event
    // loop, so a stop request (a button, a signal) is seen while it runs.
    End run();
    bool isRunning() const { return m_running; }
    // Whether the last run met a port failure.
    bool hasPortFailed() const { return m_portFailed; }

    // Where a transfer that never falls silent is cut off (the terminal then keeps its
    // memory). Far above any real memory by default.
    void setTransferLimit(qint64 bytes) { m_transferLimit = bytes; }
    // Given every record as it is stored; a plain call rather than a signal, since a transfer
    // brings a million of them.
    void setRecordSink(std::function<void(const QByteArray &)> sink)
    {
        m_recordSink = std::move(sink);
    }
    // Run every few tens of milliseconds while the cycle waits (default: pending events).
    void setWhileWaiting(std::function<void()> hook) { m_whileWaiting = std::move(hook); }
    // How often a wait looks at the port, the stop flag and pending events: often enough for
    // a window to stay live by default; a process nobody watches can look less often and
    // sleep more.
    void setCheckIntervalMs(int ms);

    void lockControls() override { emit busyChanged(true); }
    void unlockControls() override { emit busyChanged(false); }

signals:
    // An exchange that the operator must not interrupt begins or ends.
    void busyChanged(bool busy);
    // The terminal answered the wake-up (true) or did not (false).
    void onLineChanged(bool onLine);
    // The 500 ms without an indicator at the end of a turn.
    void indicatorCleared();
    // Something other than ACK answered the wake-up.
    void communicationError();
    // A status line was read; hasRecords when its memory figure says records are waiting.
    void statusRead(bool hasRecords, const QString &fileName);
    // A turn that obtained nothing from the terminal.
    void turnObtainedNothing();
    // A transfer of this many records has ended: stored is false when one did not reach the
    // disk.
    void transferEnded(bool stored, qsizetype records);
    void clearSent();
    // A transfer of this many records broke off (stopped, port lost): they are kept in path
    // (kept is false when they could not be), not in the poll file, since the terminal sends
    // them again.
    void transferSetAside(bool kept, qsizetype records, const QString &path);
    // The transfer is stored, but the status read just before the clear said the terminal
    // holds more than it sent (a record scanned meanwhile): no clear this turn.
    void clearWithheld();
    // The cycle is making progress: sent at every turn, every quarter second of its pauses
    // and every check interval of its waits, and from nowhere else, so a stuck cycle falls
    // silent.
    void alive();

private:
    enum Outcome { NothingObtained = 0, Answered = 1, Transferred = 2 };
    static constexpr int kDefaultCheckIntervalMs = 40;
    static constexpr int kPauseSliceMs = 250;

    Outcome pollOnce();
    Outcome readStatusReply(double &memoryFigure);
    // The reply to "?" as the terminal's memory figure, when a whole line arrived.
    Exchange::Wait readMemoryFigure(double &memoryFigure);
    Outcome fetchRecords();
    // Clears the terminal once its status says it holds what it held before the transfer.
    void clearAfterFetch(double memoryBefore);
    void setTransferAside();
    void storePolledRecord(const QByteArray &line);
    // Reads the records of one transfer until the line falls silent, the limit is reached
    // or a wait is abandoned; a line left without its CR at the end is passed back.
    Exchange::Wait receiveRecords(QByteArray &line);
    void keepLive();
    // The cycle's own pauses (the terminal's pacing), with the event loop running.
    void pause(int ms);

    // The cycle's port check: on failure the operator is told once, the port is marked
    // unavailable and the cycle is asked to stop.
    bool portOk();
    bool flushInput();
    // Runs a step of the cycle; a serial failure inside it ends the step.
    void guarded(const std::function<void()> &step);

    PortGuard &m_port;
    PollStore &m_store;
    bool &m_stopRequested;
    Exchange m_exchange;
    std::function<void()> m_whileWaiting;
    std::function<void(const QByteArray &)> m_recordSink;
    QElapsedTimer m_lastEvents;
    QElapsedTimer m_lastPortCheck;
    int m_checkIntervalMs = kDefaultCheckIntervalMs;
    bool m_running = false;
    bool m_portFailed = false;
    bool m_stopEndsWaits = false;
    qint64 m_transferLimit = terminal::kMaxTransferBytes;
    // Per transfer: whether every record reached the disk.
    bool m_transferStored = true;
    // The terminal's memory figure when its last clear was withheld, until one goes.
    std::optional<double> m_withheldAt;
    qsizetype m_transferRecords = 0;
};
