// corvane-poll: the polling cycle without a window, for a terminal left in its cradle all
// day. One instance per terminal; meant to run as a systemd service (corvane-poll@N).
#include "core/link/SerialLink.h"
#include "core/polling/PollCycle.h"
#include "core/polling/PollerStateReporter.h"
#include "core/state/Dialogs.h"
#include "core/state/ProgramState.h"
#include "headless/Headless.h"
#include "headless/ServiceNotifier.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kRetryMs = 3000;
constexpr int kDayCheckMs = 60000;

using headless::logLine;

// Nobody is there to answer a message box: the poller logs its own lines instead.
class NoDialogs : public Dialogs {
public:
    bool question(const QString &, const QString &) override { return false; }
    void critical(const QString &, const QString &) override {}
    void information(const QString &, const QString &) override {}
    void plain(const QString &, const QString &) override {}
    void beep() override {}
};

struct Options {
    int port = 0;
    QString device;
    QString dir;
};

// Parses the arguments; on a bad one says why on standard error and returns nothing.
std::optional<Options> parseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Polls a barcode terminal about once a second and stores every record it holds in the "
        "day's poll file (dd-mm-yy.pol), then clears it. Logs one line per event."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("COM port N (1-16): the link comN in the folder, "
                                                 "else /dev/ttyS<N-1>."),
                                  QStringLiteral("N"));
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("The serial device to open."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption dir(QStringLiteral("dir"),
                                 QStringLiteral("Folder of the poll files (default: current)."),
                                 QStringLiteral("DIR"));
    parser.addOptions({port, device, dir});
    if (!headless::parseArguments(parser, app))
        return std::nullopt;

    Options o;
    o.dir = headless::folderArgument(parser, dir);
    const QFileInfo folder(o.dir);
    if (!folder.isDir())
        return headless::refuse(QStringLiteral("--dir %1 is not a folder").arg(o.dir));
    if (!folder.isWritable())
        return headless::refuse(QStringLiteral("--dir %1 is not writable").arg(o.dir));
    if (parser.isSet(port) == parser.isSet(device))
        return headless::refuse(QStringLiteral("give either --port N or --device PATH"));
    if (parser.isSet(port)) {
        bool ok = false;
        o.port = parser.value(port).toInt(&ok);
        if (!ok || o.port < 1 || o.port > 16)
            return headless::refuse(
                QStringLiteral("--port must be 1 to 16, not %1").arg(parser.value(port)));
    } else {
        o.device = parser.value(device);
    }
    return o;
}

// Runs the cycle for as long as it is not told to stop, reopening the port whenever it is
// missing or lost, and logs what changes.
class Poller {
public:
    Poller(const Options &options, NoDialogs &dialogs)
        : m_state(QDir(options.dir), dialogs), m_store(m_state.workingDir),
          m_cycle(m_state.Comm1, m_state.port, dialogs, m_store, m_state.pollStopRequested)
    {
        SerialLink &link = m_state.Comm1;
        link.setInBufferSize(terminal::kInBufferSize);
        link.setSettings(terminal::kLineSettings);
        if (options.device.isEmpty())
            link.setCommPort(options.port);
        else
            link.setDevicePath(options.device);
        m_name =
            options.device.isEmpty() ? QStringLiteral("COM %1").arg(options.port) : options.device;
        m_store.setTerminalName(options.device.isEmpty() ? QStringLiteral("com%1").arg(options.port)
                                                         : QFileInfo(options.device).fileName());
        // Nobody watches a window here: waits look at the port and the stop flag five times
        // a second instead of twenty-five, which keeps a silent night nearly free.
        m_cycle.setCheckIntervalMs(200);
        connectCycle();
        m_report.emplace(m_cycle, m_store, QStringLiteral("corvane-poll"), [](const QString &why) {
            logLine(Priority::Warning,
                    QStringLiteral("cannot write the state file %1; polling goes on without it")
                        .arg(why));
        });
    }

    void stop()
    {
        m_notifier.stopping();
        m_stopping = true;
        m_state.pollStopRequested = true;
        m_retry.quit();
    }

    int run()
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

private:
    bool open()
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
            logLine(Priority::Info,
                    QStringLiteral("port %1 back (%2)").arg(m_name, link.devicePath()));
        m_portLost = false;
        m_lastOpenError.clear();
        updateStatus();
        return true;
    }

    // The retry wait is part of the live loop, so it keeps the watchdog fed, and only it.
    void waitBeforeRetry()
    {
        QElapsedTimer waited;
        waited.start();
        const qint64 slice =
            m_notifier.pingIntervalMs() > 0 ? m_notifier.pingIntervalMs() : kRetryMs;
        for (qint64 left = kRetryMs; left > 0 && !m_stopping; left = kRetryMs - waited.elapsed()) {
            QTimer::singleShot(int(qMin(left, slice)), &m_retry, &QEventLoop::quit);
            m_retry.exec();
            m_notifier.alive();
        }
    }

    // The records already in today's file count as today's, so a restart does not reset the
    // figure systemctl status shows.
    void countTodaysRecords()
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

    // "on line; 1,234 records today, last at 14:02": what systemctl status shows.
    QString statusLine()
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
        state += QStringLiteral("; %1 records today").arg(QLocale::c().toString(m_recordsToday));
        if (m_lastTransfer.isValid())
            state +=
                QStringLiteral(", last at ") + m_lastTransfer.toString(QStringLiteral("HH:mm"));
        return state;
    }

    void updateStatus()
    {
        if (m_notifier.isActive())
            m_notifier.setStatus(statusLine());
    }

    void connectCycle()
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
        QObject::connect(&m_cycle, &PollCycle::transferEnded, [this](bool stored, qsizetype n) {
            if (stored) {
                // Sent again because the terminal was not cleared: stored the first time.
                const qsizetype fresh = m_store.newRecords(n), repeated = n - fresh;
                logLine(
                    Priority::Info,
                    QStringLiteral("%1 records stored in %2").arg(fresh).arg(m_file) +
                        (repeated
                             ? QStringLiteral(" (%1 more came again, stored already)").arg(repeated)
                             : QString()));
                m_recordsToday += fresh;
                m_lastTransfer = QTime::currentTime();
                updateStatus();
            } else
                logLine(Priority::Error, QStringLiteral("write error on %1: %2 records not stored, "
                                                        "the terminal keeps them")
                                             .arg(m_file)
                                             .arg(n));
        });
        QObject::connect(&m_cycle, &PollCycle::transferSetAside,
                         [](bool kept, qsizetype n, const QString &path) {
                             if (kept)
                                 logLine(Priority::Warning,
                                         QStringLiteral("transfer broken off: its %1 records kept "
                                                        "in %2 until the terminal sends them "
                                                        "again")
                                             .arg(n)
                                             .arg(path));
                             else
                                 logLine(Priority::Error,
                                         QStringLiteral("transfer broken off: its %1 records "
                                                        "could not be kept in %2; the terminal "
                                                        "keeps them")
                                             .arg(n)
                                             .arg(path));
                         });
        QObject::connect(&m_cycle, &PollCycle::clearWithheld, [] {
            logLine(Priority::Info, QStringLiteral("terminal scanned during the transfer: not "
                                                   "cleared this time"));
        });
        QObject::connect(&m_cycle, &PollCycle::clearSent, [] {
            logLine(Priority::Info, QStringLiteral("terminal memory cleared"));
        });
    }

    enum class Line { Unknown, OnLine, Silent, CommunicationError };

    // Only changes are logged: a terminal off all night gives two lines, not thousands.
    void setLine(Line line)
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
            logLine(Priority::Warning, QStringLiteral("communication error: the terminal "
                                                      "answers with something other than ACK"));
            break;
        case Line::Unknown:
            break;
        }
    }

    ServiceNotifier m_notifier;
    ProgramState m_state;
    PollStore m_store;
    PollCycle m_cycle;
    // Made once the store knows the terminal's name, which names the file.
    std::optional<PollerStateReporter> m_report;
    QEventLoop m_retry;
    QString m_name;
    QString m_file;
    QString m_lastOpenError;
    Line m_line = Line::Unknown;
    QDate m_countDay;
    qint64 m_recordsToday = 0;
    QTime m_lastTransfer;
    QElapsedTimer m_dayChecked;
    bool m_portLost = false;
    bool m_stopping = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-poll"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    const std::optional<Options> options = parseOptions(app);
    if (!options)
        return headless::kBadArguments;

    // The cycle sees the stop at its next safe point.
    const int stopFd = headless::stopOnSignals();
    if (stopFd < 0)
        return 1;

    NoDialogs dialogs;
    Poller poller(*options, dialogs);
    QSocketNotifier notifier(stopFd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        // Drained, unlike the shipper's: the poller lives on to a safe point, and a byte left
        // in the pipe would wake this notifier again and again until then.
        char c;
        [[maybe_unused]] const auto n = ::read(stopFd, &c, 1);
        poller.stop();
    });
    return poller.run();
}
