#pragma once

#include "core/polling/PollCycle.h"
#include "core/polling/PollStore.h"
#include "core/polling/PollerStateReporter.h"
#include "core/state/Dialogs.h"
#include "core/state/ProgramState.h"
#include "headless/ServiceNotifier.h"

#include <QDate>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QTime>

#include <optional>

// Runs the polling cycle on one terminal for as long as it is not told to stop, reopening the
// port whenever it is missing or lost. Logs one line per change on standard output; under
// systemd, tells it when it is ready, that its cycle is alive, and a status line; keeps the
// poller's state file that the shipper reads.
class Poller {
public:
    struct Options {
        int port = 0;   // COM port 1-16, or 0 when a device is given
        QString device; // the serial device, empty when a port is given
        QString dir;    // the poll files' folder, absolute
    };

    explicit Poller(const Options &options);

    // The cycle sees it at its next safe point; a wait before the port is tried again ends at
    // once.
    void stop();
    // Polls until stop(); the exit status.
    int run();

private:
    // Nobody is there to answer a message box: the poller logs its own lines instead.
    class NoDialogs : public Dialogs {
    public:
        bool question(const QString &, const QString &) override { return false; }
        void critical(const QString &, const QString &) override {}
        void information(const QString &, const QString &) override {}
        void plain(const QString &, const QString &) override {}
        void beep() override {}
    };

    enum class Line { Unknown, OnLine, Silent, CommunicationError };

    // Opens the port, logging it missing (once per reason) or back; false when it is missing.
    bool open();
    void waitBeforeRetry();
    void countTodaysRecords();
    // "on line; 1,234 records today, last at 14:02": what systemctl status shows.
    QString statusLine();
    void updateStatus();
    void connectCycle();
    void transferEnded(bool stored, qsizetype n);
    // The copy kept aside holds only what the store took: the terminal also sent again, first,
    // records an earlier transfer stored and it was not told to forget.
    void transferSetAside(bool kept, qsizetype n, const QString &path);
    // " (N more came again, stored already)" when the transfer brought such records.
    QString cameAgain(qsizetype n) const;
    void setLine(Line line);

    ServiceNotifier m_notifier;
    NoDialogs m_dialogs;
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
