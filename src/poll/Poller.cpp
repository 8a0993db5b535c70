#include "poll/Poller.h"

#include "core/link/SerialLink.h"
#include "headless/Headless.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>

namespace {

constexpr int kRetryMs = 3000;
constexpr int kDayCheckMs = 60000;

using headless::logLine;

} // namespace

Poller::Poller(const Options &options)
    : m_state(QDir(options.dir), m_dialogs), m_store(m_state.workingDir),
      m_cycle(m_state.Comm1, m_state.port, m_dialogs, m_store, m_state.pollStopRequested)
{
    SerialLink &link = m_state.Comm1;
    link.setInBufferSize(terminal::kInBufferSize);
    link.setSettings(terminal::kLineSettings);
    if (options.device.isEmpty())
        link.setCommPort(options.port);
    else
        link.setDevicePath(options.device);
    m_name = options.device.isEmpty() ? QStringLiteral("COM %1").arg(options.port) : options.device;
    m_store.setTerminalName(options.device.isEmpty() ? QStringLiteral("com%1").arg(options.port)
                                                     : QFileInfo(options.device).fileName());
    // Nobody watches a window here: waits look at the port and the stop flag five times
    // a second instead of twenty-five, which keeps a silent night nearly free.
    m_cycle.setCheckIntervalMs(200);
    connectCycle();
    m_report.emplace(m_cycle, m_store, QStringLiteral("corvane-poll"), [](const QString &why) {
        logLine(
            Priority::Warning,
            QStringLiteral("cannot write the state file %1; polling goes on without it").arg(why));
    });
}

void Poller::stop()
{
    m_notifier.stopping();
    m_stopping = true;
    m_state.pollStopRequested = true;
    m_retry.quit();
}

int Poller::run()
{
    logLine(Priority::Info, QStringLiteral("corvane-poll %1: polling %2 into %3")
                                .arg(QCoreApplication::applicationVersion(), m_name,
                                     m_state.workingDir.absolutePath()));
    if (m_notifier.isActive())
        countTodaysRecords();
    for (bool first = true; !m_stopping; first = false) {
        const bool opened = open();
        if (first)
            m_notifier.ready(statusLine());
        if (!opened) {
            waitBeforeRetry();
            continue;
        }
        m_state.pollStopRequested = false;
        m_cycle.run();
        if (!m_stopping && m_cycle.hasPortFailed()) {
            logLine(Priority::Warning, QStringLiteral("port %1 lost; retrying every %2 s")
                                           .arg(m_name)
                                           .arg(kRetryMs / 1000));
            m_portLost = true;
            m_lastOpenError.clear();
            m_state.Comm1.setPortOpen(false);
            updateStatus();
            m_report->portLost();
        }
    }
    m_state.Comm1.setPortOpen(false);
    m_report->stopped();
    logLine(Priority::Info, QStringLiteral("stopped"));
    return 0;
}

bool Poller::open()
{
    SerialLink &link = m_state.Comm1;
    try {
        link.setPortOpen(true);
    } catch (const SerialError &) {
        QString why = link.openErrorText();
        if (const auto &holder = link.holder())
            why += QStringLiteral("; ") + holder->logText();
        // Once when the port goes, and again only if the reason changes.
        if (!m_portLost || (!m_lastOpenError.isEmpty() && why != m_lastOpenError))
            logLine(Priority::Warning,
                    QStringLiteral("port %1 unavailable (%2): %3; retrying every %4 s")
                        .arg(m_name, link.devicePath(), why)
                        .arg(kRetryMs / 1000));
        m_portLost = true;
        m_lastOpenError = why;
        updateStatus();
        m_report->portLost();
        return false;
    }
    if (m_portLost)
        logLine(Priority::Info, QStringLiteral("port %1 back (%2)").arg(m_name, link.devicePath()));
    m_portLost = false;
    m_lastOpenError.clear();
    updateStatus();
    return true;
}

// The retry wait is part of the live loop, so it keeps the watchdog fed, and only it.
void Poller::waitBeforeRetry()
{
    QElapsedTimer waited;
    waited.start();
    const qint64 slice = m_notifier.pingIntervalMs() > 0 ? m_notifier.pingIntervalMs() : kRetryMs;
    for (qint64 left = kRetryMs; left > 0 && !m_stopping; left = kRetryMs - waited.elapsed()) {
        QTimer::singleShot(int(qMin(left, slice)), &m_retry, &QEventLoop::quit);
        m_retry.exec();
        m_notifier.alive();
    }
}

// The records already in today's file count as today's, so a restart does not reset the
// figure systemctl status shows.
void Poller::countTodaysRecords()
{
    m_countDay = QDate::currentDate();
    QFile file(m_state.workingDir.filePath(m_store.todaysFileName()));
    if (!file.open(QIODevice::ReadOnly))
        return;
    while (!file.atEnd())
        m_recordsToday += file.read(1 << 20).count('\n');
    if (m_recordsToday > 0)
        m_lastTransfer = file.fileTime(QFileDevice::FileModificationTime).time();
}

QString Poller::statusLine()
{
    if (QDate::currentDate() != m_countDay) {
        m_countDay = QDate::currentDate();
        m_recordsToday = 0;
        m_lastTransfer = QTime();
    }
    QString state;
    if (m_portLost)
        state = QStringLiteral("port unavailable");
    else if (m_line == Line::OnLine)
        state = QStringLiteral("on line");
    else if (m_line == Line::Silent)
        state = QStringLiteral("silent");
    else if (m_line == Line::CommunicationError)
        state = QStringLiteral("communication error");
    else
        state = QStringLiteral("port open");
    return state + QStringLiteral("; ") +
           ServiceNotifier::todaysFigure(m_recordsToday, QStringLiteral("records"), m_lastTransfer);
}

void Poller::updateStatus()
{
    if (m_notifier.isActive())
        m_notifier.setStatus(statusLine());
}

void Poller::connectCycle()
{
    QObject::connect(&m_cycle, &PollCycle::onLineChanged,
                     [this](bool onLine) { setLine(onLine ? Line::OnLine : Line::Silent); });
    QObject::connect(&m_cycle, &PollCycle::communicationError,
                     [this] { setLine(Line::CommunicationError); });
    QObject::connect(&m_cycle, &PollCycle::statusRead,
                     [this](bool, const QString &file) { m_file = file; });
    QObject::connect(&m_cycle, &PollCycle::alive, [this] {
        m_notifier.alive();
        // The day's figure starts again at midnight; asking the date is not free.
        if (!m_dayChecked.isValid() || m_dayChecked.elapsed() >= kDayCheckMs) {
            m_dayChecked.start();
            updateStatus();
        }
    });
    QObject::connect(&m_cycle, &PollCycle::transferEnded,
                     [this](bool stored, qsizetype n) { transferEnded(stored, n); });
    QObject::connect(
        &m_cycle, &PollCycle::transferSetAside,
        [this](bool kept, qsizetype n, const QString &path) { transferSetAside(kept, n, path); });
    QObject::connect(&m_cycle, &PollCycle::clearWithheld, [] {
        logLine(Priority::Info,
                QStringLiteral("terminal scanned during the transfer: not cleared this time"));
    });
    QObject::connect(&m_cycle, &PollCycle::clearSent,
                     [] { logLine(Priority::Info, QStringLiteral("terminal memory cleared")); });
}

void Poller::transferEnded(bool stored, qsizetype n)
{
    if (!stored) {
        logLine(Priority::Error,
                QStringLiteral("write error on %1: %2 records not stored, the terminal keeps them")
                    .arg(m_file)
                    .arg(n));
        return;
    }
    const qsizetype fresh = m_store.newRecords(n);
    logLine(Priority::Info,
            QStringLiteral("%1 records stored in %2").arg(fresh).arg(m_file) + cameAgain(n));
    m_recordsToday += fresh;
    m_lastTransfer = QTime::currentTime();
    updateStatus();
}

void Poller::transferSetAside(bool kept, qsizetype n, const QString &path)
{
    if (!kept) {
        logLine(Priority::Error, QStringLiteral("transfer broken off: its %1 records could not be "
                                                "kept in %2; the terminal keeps them")
                                     .arg(n)
                                     .arg(path));
        return;
    }
    const QString line = QStringLiteral("transfer broken off: its %1 records kept in %2 until the "
                                        "terminal sends them again");
    logLine(Priority::Warning, line.arg(m_store.newRecords(n)).arg(path) + cameAgain(n));
}

QString Poller::cameAgain(qsizetype n) const
{
    const qsizetype repeated = n - m_store.newRecords(n);
    return repeated ? QStringLiteral(" (%1 more came again, stored already)").arg(repeated)
                    : QString();
}

// Only changes are logged: a terminal off all night gives two lines, not thousands.
void Poller::setLine(Line line)
{
    if (line == m_line)
        return;
    m_line = line;
    updateStatus();
    switch (line) {
    case Line::OnLine:
        logLine(Priority::Info, QStringLiteral("terminal on line"));
        break;
    case Line::Silent:
        logLine(Priority::Warning, QStringLiteral("terminal does not answer"));
        break;
    case Line::CommunicationError:
        logLine(Priority::Warning,
                QStringLiteral("communication error: the terminal answers with something other "
                               "than ACK"));
        break;
    case Line::Unknown:
        break;
    }
}
