#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// A simulated barcode data terminal on the far side of a pseudo-terminal.
//
// It answers the wake-up (" " then "0") with ACK, the frames "!" code "^" CR and the
// set-clock frame "!" day month hours minutes "^" CR the way the real terminal does. It runs
// on its own thread, so the program under test can block on the port while it answers.
// Every byte it receives and sends is logged with a CLOCK_MONOTONIC timestamp, so tests can
// assert the traffic and its pacing.
namespace sim {

struct LoggedByte {
    qint64 atUs; // CLOCK_MONOTONIC, microseconds (same clock as QElapsedTimer on Linux)
    quint8 byte;
};

class TerminalSim {
public:
    // Opens the pseudo-terminal (raw mode) and starts answering. Holds its own handle on the
    // device side, so the program may close and reopen the port freely.
    TerminalSim();
    ~TerminalSim();
    TerminalSim(const TerminalSim &) = delete;
    TerminalSim &operator=(const TerminalSim &) = delete;

    bool isValid() const;       // false when the pseudo-terminal could not be made
    QString devicePath() const; // e.g. /dev/pts/7
    // Makes <dir>/com<portNumber> a symbolic link to the device (replacing an old link).
    bool linkAs(const QString &dir, int portNumber = 1);
    QString linkPath() const;

    // --- the terminal's own state -------------------------------------------------------
    void setRecords(const QList<QByteArray> &records); // record bodies, without terminator
    void addRecord(const QByteArray &record);
    QList<QByteArray> records() const;
    int clearCount() const; // how many times "6" or "8" cleared the memory
    // An operator scanning: every intervalMs (0 stops) a record joins the memory, made on the
    // terminal's own thread by make (which must not call back into this object; by default
    // "S" and a serial number, so each is unique). scanned() lists every record made so far.
    void setScanning(int intervalMs, std::function<QByteArray()> make = {});
    QList<QByteArray> scanned() const;
    // Runs on the terminal's own thread at the moment a clear arrives, before anything else:
    // lets a test look at the world as the terminal forgets. Must not call back into this
    // object.
    void setOnClear(std::function<void()> hook);

    // Parameter characters of status positions 2-12 (11 characters).
    QByteArray parameters() const;
    void setParameters(const QByteArray &elevenChars);
    static QByteArray defaultParameters();

    // Terminal clock (plain numbers; the wire carries packed BCD).
    struct Clock {
        int day, month, hours, minutes;
    };
    Clock clock() const;
    void setClock(Clock c);

    void setFirmware(char major, char minor); // default '3', '1'
    void setMemoryCode(char code);            // position 24; default '6' (64000 base)
    QByteArray statusLine() const;            // the status reply it would send now, no CR

    // --- scripting for tests ------------------------------------------------------------
    // Pause between the characters of every reply (status line, transfer, ACK excluded).
    void setReplyCharDelayMs(int ms);
    void setReplyCharDelayUs(qint64 us); // 1042 us: a line at 9600 bit/s
    // Answer to the wake-up, sent as it is: std::nullopt = no answer at all; default ACK
    // (0x06). Bytes after the ACK model a line that carries something more.
    void setWakeReply(std::optional<QByteArray> bytes);
    // Silent: ignores everything (like a terminal that is switched off).
    void setSilent(bool silent);
    // Replaces the whole reply to "?" by these bytes, sent as they are (include the CR
    // yourself, or leave it out to model a line that never ends). nullopt = normal reply.
    void setStatusReplyOverride(std::optional<QByteArray> bytes);
    // Replaces the whole reply to "7" (leading character included). nullopt = normal.
    void setTransferOverride(std::optional<QByteArray> bytes);
    // Terminator written after each record in a normal transfer; nullopt = as programmed
    // (CR LF, CR, or TAB).
    void setRecordTerminatorOverride(std::optional<QByteArray> terminator);
    // Sends bytes now, unasked (leftovers, noise).
    void inject(const QByteArray &bytes);
    // The device goes away: the far side is closed and the link removed.
    void hangUp();

    // --- traffic ------------------------------------------------------------------------
    QList<LoggedByte> received() const;
    QByteArray receivedBytes() const;
    QList<LoggedByte> sent() const;
    // Off: replies are not logged byte by byte (a million records would cost gigabytes);
    // lastSentUs() still tells when the last byte went out.
    void setSentLogging(bool on);
    qint64 lastSentUs() const;
    void clearLog();
    // Blocks (without an event loop) until at least count bytes were received.
    bool waitForReceived(int count, int timeoutMs) const;
    // Blocks until the terminal has finished sending every queued reply byte.
    bool waitForIdle(int timeoutMs) const;

    static qint64 nowUs(); // CLOCK_MONOTONIC in microseconds

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sim
