#include "Exchange.h"

#include "core/state/Dialogs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

Exchange::Exchange(SerialLink &link, Dialogs &dialogs, ControlLock &lock, ExchangeStyle style)
    : m_link(link), m_dialogs(dialogs), m_lock(lock), m_style(std::move(style))
{
}

void Exchange::pauseMs(int ms)
{
    QElapsedTimer clock;
    clock.start();
    for (qint64 remaining = ms; remaining > 0; remaining = ms - clock.elapsed()) {
        if (m_style.pausesProcessEvents) {
            QEventLoop loop;
            QTimer::singleShot(static_cast<int>(remaining), Qt::PreciseTimer, &loop,
                               &QEventLoop::quit);
            loop.exec();
        } else {
            QThread::msleep(static_cast<unsigned long>(remaining));
        }
    }
}

void Exchange::processEventsOnce()
{
    QCoreApplication::processEvents();
}

void Exchange::flushInput()
{
    m_link.setInputLen(m_link.inBufferCount());
    m_link.input();
}

void Exchange::sendWrites(const QList<QByteArray> &writes, int pauseAfterLastMs)
{
    for (qsizetype i = 0; i < writes.size(); ++i) {
        m_link.output(writes[i]);
        const int pause = i + 1 < writes.size() ? terminal::kFrameGapMs : pauseAfterLastMs;
        if (pause > 0)
            pauseMs(pause);
    }
}

void Exchange::sendCommand(char code, int pauseAfterCrMs)
{
    sendWrites(
        {QByteArray("!"), QByteArray(1, code), QByteArray("^"), QByteArray(1, terminal::kCr)},
        pauseAfterCrMs);
}

Exchange::Wait Exchange::waitForCharacter()
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (m_waitCheck && !m_waitCheck())
            return Wait::Abandoned;
        const qint64 remaining = terminal::kCharTimeoutMs - clock.elapsed();
        if (remaining <= 0)
            return m_link.inBufferCount() > 0 ? Wait::Arrived : Wait::TimedOut;
        const int slice =
            m_waitCheck ? qMin<int>(remaining, m_waitSliceMs) : static_cast<int>(remaining);
        if (m_link.waitForInput(slice))
            return Wait::Arrived;
    }
}

char Exchange::readCharacter()
{
    m_link.setInputLen(1);
    const QByteArray c = m_link.input();
    return c.isEmpty() ? '\0' : c.at(0);
}

Exchange::Wait Exchange::requestMemory()
{
    sendCommand(terminal::kSendMemoryCommand, terminal::kAfterSendMemoryMs);
    const Wait w = waitForCharacter();
    if (w == Wait::Arrived)
        readCharacter(); // a leading character that carries no data
    return w;
}

Exchange::Wait Exchange::receiveMemory(qint64 limit,
                                       const std::function<void(QByteArrayView)> &sink)
{
    for (qint64 received = 0;;) {
        const Wait w = waitForCharacter();
        if (w != Wait::Arrived)
            return w;
        // Everything waiting at once: one read per burst rather than one per character.
        m_link.setInputLen(0);
        const QByteArray burst = m_link.input();
        sink(QByteArrayView(burst).first(qMin<qint64>(burst.size(), limit - received)));
        received += burst.size();
        if (received >= limit)
            return Wait::Arrived;
    }
}

Exchange::Wait Exchange::readReplyLine(QByteArray &line, int maxLength)
{
    line.clear();
    for (;;) {
        const Wait w = waitForCharacter();
        if (w != Wait::Arrived)
            return w;
        const char c = readCharacter();
        if (c == terminal::kCr)
            return Wait::Arrived;
        if (line.size() >= maxLength)
            return Wait::TimedOut;
        line.append(c);
    }
}

Exchange::Wake Exchange::wake(int pauseAfterZeroMs)
{
    flushInput();
    m_link.output(" ");
    pauseMs(terminal::kWakeGapMs);
    m_link.output("0");
    pauseMs(pauseAfterZeroMs);

    switch (waitForCharacter()) {
    case Wait::Abandoned:
        return Wake::Abandoned;
    case Wait::TimedOut:
        return Wake::Silent;
    case Wait::Arrived:
        break;
    }
    return readCharacter() == terminal::kAck ? Wake::Ready : Wake::WrongReply;
}

bool Exchange::wakeTerminal()
{
    const Wake outcome = wake(m_style.pauseAfterZeroMs);
    if (outcome == Wake::Ready)
        return true;
    if (outcome == Wake::Abandoned)
        return false;
    if (!m_style.reportsFailures) {
        flushInput();
        return false;
    }
    if (outcome == Wake::Silent) {
        m_dialogs.beep();
        m_dialogs.critical(m_style.title, terminal::noAnswerText());
    } else {
        m_dialogs.critical(m_style.title, terminal::commErrorText());
    }
    m_lock.unlockControls();
    return false;
}

void Exchange::reportNoAnswer(bool beeps)
{
    if (beeps) {
        m_dialogs.beep();
        m_dialogs.beep();
    }
    processEventsOnce();
    m_dialogs.critical(m_style.title, terminal::noAnswerText());
    m_lock.unlockControls();
}

Exchange::StatusReply Exchange::requestStatus(QByteArray &line)
{
    if (!wakeTerminal())
        return StatusReply::WakeFailed;
    flushInput();
    sendCommand(terminal::kStatusCommand, terminal::kAfterStatusCommandMs);
    return readReplyLine(line) == Wait::Arrived ? StatusReply::Line : StatusReply::Stopped;
}

Exchange::Presence Exchange::queryStatus(bool beepOnSilence)
{
    m_lock.lockControls();
    QByteArray line;
    switch (requestStatus(line)) {
    case StatusReply::WakeFailed:
        return Presence::WakeFailed;
    case StatusReply::Stopped:
        reportNoAnswer(beepOnSilence);
        break;
    case StatusReply::Line:
        flushInput();
        break;
    }
    return Presence::Answered;
}

bool Exchange::sendSetting(const std::function<void()> &send, bool secondWakeUp)
{
    if (queryStatus() == Presence::WakeFailed)
        return false;
    pauseMs(terminal::kBeforeSettingMs);
    if (secondWakeUp && !wakeTerminal())
        return false;
    send();
    m_dialogs.critical(m_style.title, terminal::doneText());
    return true;
}
