#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLatin1String>
#include <QString>

#include <optional>

// What a poller is doing, for the office's view of every shop: ".<terminal>.state" in the poll
// folder, written by the poller (corvane-poll, or the window's polling screen) whenever it
// changes and read by the shipper. Text lines "key=value", in this order:
//     program=corvane-poll
//     state=polling
//     since=2026-12-08T07:12:03Z
//     last_transfer=2026-12-08T07:12:03Z
//     last_records=60
//     set_aside=0
// Times are UTC; last_transfer is empty until a transfer is stored in this run. While its
// writer runs, the file it names is locked (flock), so a poller that was killed is told
// from one that runs, whatever its last state says.
struct PollerState {
    static constexpr QLatin1String kPolling{"polling"}; // the terminal answers
    static constexpr QLatin1String kTerminalSilent{"terminal silent"};
    static constexpr QLatin1String kCommunicationError{"communication error"};
    static constexpr QLatin1String kPortLost{"port lost"}; // unavailable, or lost while polling
    static constexpr QLatin1String kStopped{"stopped"};

    QString terminal; // from the file's name: "com1"
    QString program;  // "corvane-poll" or "corvane"
    QString state;
    QDateTime since;        // when this state began, UTC
    QDateTime lastTransfer; // the last transfer stored this run; invalid when none
    qint64 lastRecords = 0; // the new records that transfer stored
    qint64 setAside = 0;    // records kept aside from a broken transfer, until one is stored
    bool running = false;   // read only: its writer still holds the file

    static QString fileName(const QString &terminal);
    // The terminal a state file's name speaks of: ".com1.state" -> "com1"; nothing for any
    // other name.
    static std::optional<QString> terminalOf(const QString &fileName);

    // The file's content (terminal and running are not in it).
    QByteArray toText() const;
    // Nothing unless text is exactly what toText() writes for some state.
    static std::optional<PollerState> fromText(const QByteArray &text);

    // The state file at path, and whether its writer is alive. Nothing when it cannot be read,
    // is not one, or its name is not a state file's.
    static std::optional<PollerState> read(const QString &path);
};

// The state file of one poller's run: written whenever what it says changes (a stored
// transfer is a change; the same state reported again is not), replaced by rename so that a
// reader sees the old content or the new, never a part. The file the name points at stays
// locked until stop() has written "stopped". Best effort: a write that fails changes nothing
// for the poller, and the next change tries again.
class PollerStateFile {
public:
    PollerStateFile(const QString &dir, const QString &terminal, const QString &program);
    // stop()
    ~PollerStateFile();
    PollerStateFile(const PollerStateFile &) = delete;
    PollerStateFile &operator=(const PollerStateFile &) = delete;

    QString path() const { return m_path; }
    const PollerState &current() const { return m_state; }

    // Each writes the file when the state changes; false when that write failed (why in
    // errorString()). Nothing is written before the first of them or after stop().
    bool setState(const QString &state);
    // A transfer was stored with this many new records (none when it only brought back
    // records stored already). One that brought any takes the place of what was kept aside:
    // the store removes that copy then.
    bool setTransferStored(qint64 records);
    bool setSetAside(qint64 records);
    // Polling has ended: writes "stopped" and lets the file go.
    bool stop();

    QString errorString() const { return m_error; }

private:
    bool write();
    // Whether the name points at a file that another running writer holds (the port's other
    // poller, unable to open it meanwhile, must not write over the one that polls).
    bool heldByAnother() const;

    QString m_path;
    PollerState m_state;
    int m_fd = -1; // the file the name points at, locked, while the run lasts
    bool m_stopped = false;
    QString m_error;
};
