#pragma once

#include "core/link/Protocol.h"
#include "core/link/SerialLink.h"
#include "core/state/Dialogs.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>

// What differs between the screens that talk to the terminal.
struct ExchangeStyle {
    QString title = kMainTitle;                     // message box title
    bool pausesProcessEvents = false;               // only the polling screen keeps its window live
    int pauseAfterZeroMs = terminal::kWakeListenMs; // wake-up pause after "0"
    bool reportsFailures = true; // the polling screen wakes the terminal silently

    // The screens opened over the main window title their messages " Corvane".
    static ExchangeStyle overMainWindow()
    {
        ExchangeStyle style;
        style.title = kScreenTitle;
        return style;
    }
};

// The lock/unlock pair of the screen that runs the exchange.
class ControlLock {
public:
    virtual ~ControlLock() = default;
    virtual void lockControls() = 0;
    virtual void unlockControls() = 0;
};

// The routines every conversation with the terminal is made of: the wake-up, the command
// frame and its pacing, emptying the receive buffer, and reading with the one-second limit
// per character. Serial failures propagate as SerialError.
class Exchange {
public:
    enum class Wait { Arrived, TimedOut, Abandoned };
    // Called before every pass of a character wait; returning false abandons the wait.
    using WaitCheck = std::function<bool()>;

    Exchange(SerialLink &link, Dialogs &dialogs, ControlLock &lock, ExchangeStyle style = {});

    const ExchangeStyle &style() const { return m_style; }
    SerialLink &link() { return m_link; }
    // The check runs at least every sliceMs while a character is awaited.
    void setWaitCheck(WaitCheck check, int sliceMs = kDefaultWaitSliceMs)
    {
        m_waitCheck = std::move(check);
        m_waitSliceMs = sliceMs;
    }

    // Waits ms milliseconds on the elapsed-time clock, without spinning. Window events run
    // meanwhile only when the style says so.
    void pauseMs(int ms);
    void processEventsOnce();

    void flushInput();
    // One write per element, kFrameGapMs apart, then pauseAfterLastMs (0: none).
    void sendWrites(const QList<QByteArray> &writes, int pauseAfterLastMs);
    // "!", code, "^", CR.
    void sendCommand(char code, int pauseAfterCrMs);

    // Waits up to one second for the next character.
    Wait waitForCharacter();
    // Reads one character (it must be waiting).
    char readCharacter();
    // "7" to a woken terminal, and the character that leads its data, dropped: Arrived when
    // data follows, TimedOut for an empty memory, Abandoned on a stop.
    Wait requestMemory();
    // The data after requestMemory(), burst by burst as it comes, to sink; until a character's
    // silence (TimedOut: the end), a stop (Abandoned) or limit bytes (Arrived: a terminal that
    // never falls silent is cut off there, and sink gets nothing beyond).
    Wait receiveMemory(qint64 limit, const std::function<void(QByteArrayView)> &sink);
    // Characters up to a CR (not kept); each character has its own one-second limit.
    Wait readReplyLine(QByteArray &line, int maxLength = kMaxLineLength);

    enum class Wake { Ready, Silent, WrongReply, Abandoned };
    // " " then "0", and ACK back within the character limit that starts pauseAfterZeroMs after
    // the "0". Tells nobody: the caller decides what a failure means.
    Wake wake(int pauseAfterZeroMs);
    // wake() with the style's pause. On failure the style decides whether the operator is
    // told (and the screen unlocked) or the buffer is just emptied.
    bool wakeTerminal();

    // The common answer to a reply that stopped: beep, beep, events, message, unlock.
    void reportNoAnswer(bool beeps = true);

    enum class StatusReply { WakeFailed, Stopped, Line };
    // The wake-up, then "?" (200 ms after its CR) and the reply line. On WakeFailed the
    // wake-up has already told the operator; on Stopped the line broke off.
    StatusReply requestStatus(QByteArray &line);

    enum class Presence { Answered, WakeFailed };
    // Locks the screen, then the wake-up, "?" and its line, only to prove the terminal is
    // listening. A line that stops short is reported (reportNoAnswer) and the screen
    // unlocked, and the answer still counts: the caller's own next wake-up decides.
    Presence queryStatus(bool beepOnSilence = true);

    // A setting sent to the terminal: the presence check (queryStatus; a reply that stops
    // short does not stop it), 100 ms, a second wake-up unless skipped, then send() and
    // "Operazione effettuata". False when a step stopped it; the operator has been told.
    bool sendSetting(const std::function<void()> &send, bool secondWakeUp = true);

    // A status line longer than this is not a status line: treat it as no answer.
    static constexpr int kMaxLineLength = 4096;
    // Short enough that a window stays live while the check runs between the slices.
    static constexpr int kDefaultWaitSliceMs = 50;

private:
    SerialLink &m_link;
    Dialogs &m_dialogs;
    ControlLock &m_lock;
    ExchangeStyle m_style;
    WaitCheck m_waitCheck;
    int m_waitSliceMs = kDefaultWaitSliceMs;
};
