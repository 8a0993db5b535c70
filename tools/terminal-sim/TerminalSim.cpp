#include "TerminalSim.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr quint8 kAck = 0x06;
constexpr quint8 kStx = 0x02;
constexpr quint8 kTab = 0x09;
constexpr quint8 kLf = 0x0A;
constexpr quint8 kCr = 0x0D;
constexpr quint8 kSpace = 0x20;
constexpr quint8 kFrameStart = '!';
constexpr quint8 kFrameEnd = '^';

constexpr qint64 kFrameTimeoutUs = 1'000'000;
// Real frames are at most 5 bytes; anything longer is junk we only wait out until CR.
constexpr qsizetype kMaxFrame = 32;

// Offsets into the parameter string (status position minus 2).
constexpr int kPosTerminator = 0; // 2
constexpr int kPosPause = 1;      // 3
constexpr int kPosSeparator = 2;  // 4
constexpr int kPosMode = 3;       // 5
constexpr int kPosFormat = 4;     // 6
constexpr int kPosLrc = 5;        // 7
constexpr int kPosFile = 6;       // 8
constexpr int kPosSpeed = 7;      // 9
constexpr int kPosDownload = 8;   // 10
constexpr int kPosQuantity = 9;   // 11
constexpr int kPosDateTime = 10;  // 12

bool isLeapYear(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int month, int year)
{
    switch (month) {
    case 2:
        return isLeapYear(year) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    default:
        return 31; // also for nonsense months, so the roll-over still terminates
    }
}

int currentYear()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_year + 1900;
}

TerminalSim::Clock advanceClock(TerminalSim::Clock c, qint64 minutes)
{
    if (minutes <= 0)
        return c;
    const qint64 totalMin = c.minutes + minutes;
    c.minutes = int(totalMin % 60);
    const qint64 totalHours = c.hours + totalMin / 60;
    c.hours = int(totalHours % 24);
    qint64 days = totalHours / 24;
    int year = currentYear();
    while (days-- > 0) {
        if (++c.day > daysInMonth(c.month, year)) {
            c.day = 1;
            if (++c.month > 12) {
                c.month = 1;
                ++year;
            }
        }
    }
    return c;
}

int fromBcd(quint8 b)
{
    return (b >> 4) * 10 + (b & 0x0F);
}

quint8 toBcd(int v)
{
    v = ((v % 100) + 100) % 100;
    return quint8(((v / 10) << 4) | (v % 10));
}

void closeFd(int &fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void setCloexec(int fd)
{
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0)
        ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

// Qt's implicit sharing is not safe when one thread drops its reference and another then
// writes in place, so nothing the worker thread touches is ever shared with a caller.
QByteArray unshared(const QByteArray &b)
{
    return QByteArray(b.constData(), b.size());
}

QList<QByteArray> unshared(const QList<QByteArray> &list)
{
    QList<QByteArray> out;
    out.reserve(list.size());
    for (const QByteArray &b : list)
        out.append(unshared(b));
    return out;
}

QList<LoggedByte> unshared(const QList<LoggedByte> &list)
{
    return QList<LoggedByte>(list.cbegin(), list.cend());
}

} // namespace

struct TerminalSim::Impl {
    // One paced byte, or an unpaced reply written as fast as the line takes it.
    struct Pending {
        qint64 dueUs;
        qint64 gapUs; // pause after the previous entry actually went out
        QByteArray bytes;
        qsizetype offset = 0;
    };

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::thread worker;

    int masterFd = -1;
    int slaveFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    bool valid = false;
    bool stop = false;
    bool writeBlocked = false;
    QString device;
    QString link;

    // terminal state
    QList<QByteArray> records;
    int clearCount = 0;
    QByteArray params = TerminalSim::defaultParameters();
    Clock clockBase{1, 1, 0, 0};
    qint64 clockSetUs = 0; // when clockBase was the time, to the start of its minute
    char fwMajor = '3';
    char fwMinor = '1';
    char memoryCode = '6';

    // scripting
    qint64 charDelayUs = 0;
    std::optional<QByteArray> wakeReply = QByteArray(1, char(kAck));
    bool silent = false;
    std::optional<QByteArray> statusOverride;
    std::optional<QByteArray> transferOverride;
    std::optional<QByteArray> terminatorOverride;
    std::function<void()> onClear;
    qint64 scanIntervalUs = 0;
    qint64 nextScanUs = 0;
    std::function<QByteArray()> makeScan;
    QList<QByteArray> scannedLog;

    // parser
    bool inFrame = false;
    bool frameOverflow = false;
    QByteArray frame;
    qint64 frameLastUs = 0;
    bool afterSpace = false;

    std::deque<Pending> outQueue;
    QList<LoggedByte> receivedLog;
    QList<LoggedByte> sentLog;
    bool logSent = true;
    qint64 lastSentUs = 0;

    void wake() const
    {
        if (wakeWrite >= 0) {
            const char b = 0;
            [[maybe_unused]] const ssize_t n = ::write(wakeWrite, &b, 1);
        }
    }

    // A terminal set to another baud rate cannot make sense of anything we send it.
    bool deaf() const { return params.size() > kPosSpeed && params[kPosSpeed] != 'I'; }

    Clock currentClock() const
    {
        return advanceClock(clockBase, (nowUs() - clockSetUs) / 60'000'000);
    }

    QByteArray status() const
    {
        QByteArray line;
        line.reserve(26);
        line += 'T';
        line += params;
        const Clock c = currentClock();
        for (int v : {c.day, c.month, c.hours, c.minutes})
            line += char(quint8(toBcd(v) + 0x30));
        qint64 used = 0;
        for (const QByteArray &r : records)
            used += r.size() + 2;
        const qint64 base = memoryCode == '6' ? 64000 : 32000;
        const qint64 field = std::clamp<qint64>(base + 8000 - used, 0, 99999);
        line += QByteArray::number(field).rightJustified(5, '0');
        line += fwMajor;
        line += fwMinor;
        line += memoryCode;
        line += "OK";
        return line;
    }

    QByteArray transfer() const
    {
        QByteArray term;
        if (terminatorOverride)
            term = *terminatorOverride;
        else if (params[kPosFile] == 'E')
            term = QByteArray(1, char(kTab));
        else if (params[kPosTerminator] == '1')
            term = QByteArray(1, char(kCr));
        else
            term = QByteArray{"\r\n"};
        qsizetype size = 1;
        for (const QByteArray &r : records)
            size += r.size() + term.size();
        QByteArray out;
        out.reserve(size);
        out += char(kStx);
        for (const QByteArray &r : records) {
            out += r;
            out += term;
        }
        return out;
    }

    // Called with the mutex held. The pause is counted from when the previous byte was
    // really written, so a late byte never shortens the gap after it.
    void queueReply(const QByteArray &bytes, bool paced)
    {
        if (bytes.isEmpty())
            return;
        const qint64 now = nowUs();
        if (!paced || charDelayUs == 0) {
            outQueue.push_back({now, 0, unshared(bytes)});
        } else {
            for (qsizetype i = 0; i < bytes.size(); ++i)
                outQueue.push_back({now, i > 0 ? charDelayUs : 0, QByteArray(1, bytes[i])});
        }
        wake();
    }

    void clearMemory()
    {
        records.clear();
        ++clearCount;
        if (onClear)
            onClear();
    }

    void command(quint8 code)
    {
        switch (code) {
        case '?':
            queueReply(statusOverride ? *statusOverride : status() + char(kCr), true);
            return;
        case '7':
            queueReply(transferOverride ? *transferOverride : transfer(), true);
            return;
        case '6':
            clearMemory();
            return;
        case '8':
            clearMemory();
            params = TerminalSim::defaultParameters();
            return;
        case '1':
        case '2':
            params[kPosTerminator] = char(code);
            params[kPosFile] = 'D';
            return;
        case 'E':
        case 'D':
            params[kPosFile] = char(code);
            return;
        case '3':
        case '4':
        case '5':
            params[kPosPause] = char(code);
            return;
        case '9':
        case ':':
        case ';':
        case '<':
            params[kPosSeparator] = char(code);
            return;
        case '>':
            params[kPosMode] = char(code);
            return;
        case '@':
        case 'A':
            params[kPosFormat] = char(code);
            return;
        case 'B':
        case 'C':
            params[kPosLrc] = char(code);
            return;
        case 'I':
        case 'J':
        case 'K':
        case 'L':
            params[kPosSpeed] = char(code);
            return;
        case 'M':
        case 'N':
            params[kPosDownload] = char(code);
            return;
        case 'O':
        case 'P':
        case 'Q':
        case 'R':
        case 'S':
        case 'T':
            // Stored quantities are laid out for the old format, so the terminal drops them.
            if (params[kPosQuantity] != char(code)) {
                params[kPosQuantity] = char(code);
                clearMemory();
            }
            return;
        case 'U':
        case 'V':
            params[kPosDateTime] = char(code);
            return;
        default:
            return;
        }
    }

    void frameDone()
    {
        const QByteArray f = frame;
        const bool overflow = frameOverflow;
        inFrame = false;
        frameOverflow = false;
        frame.clear();
        if (overflow)
            return;
        if (f.size() == 2 && quint8(f[1]) == kFrameEnd) {
            command(quint8(f[0]));
        } else if (f.size() == 5 && quint8(f[4]) == kFrameEnd) {
            clockBase = {fromBcd(quint8(f[0])), fromBcd(quint8(f[1])), fromBcd(quint8(f[2])),
                         fromBcd(quint8(f[3]))};
            clockSetUs = nowUs();
        }
    }

    void expireFrame(qint64 now)
    {
        if (inFrame && now - frameLastUs > kFrameTimeoutUs) {
            inFrame = false;
            frameOverflow = false;
            frame.clear();
        }
    }

    void feed(quint8 b, qint64 at)
    {
        expireFrame(at);
        if (inFrame) {
            // Clock bytes may be any value, so only CR ends a frame.
            frameLastUs = at;
            if (b == kCr) {
                frameDone();
            } else if (frame.size() < kMaxFrame) {
                frame += char(b);
            } else {
                frameOverflow = true;
            }
            return;
        }
        if (b == kFrameStart) {
            inFrame = true;
            frame.clear();
            frameLastUs = at;
            afterSpace = false;
            return;
        }
        if (b == '0' && afterSpace) {
            afterSpace = false;
            if (wakeReply)
                queueReply(*wakeReply, false);
            return;
        }
        afterSpace = b == kSpace;
    }

    // On a fixed schedule, so a late wake-up of this thread does not push later scans back.
    void scanDue(qint64 now)
    {
        for (; scanIntervalUs > 0 && now >= nextScanUs; nextScanUs += scanIntervalUs) {
            QByteArray record =
                makeScan ? makeScan()
                         : "S" + QByteArray::number(scannedLog.size() + 1).rightJustified(6, '0');
            scannedLog.append(record);
            records.append(std::move(record));
        }
    }

    void resetParser()
    {
        inFrame = false;
        frameOverflow = false;
        frame.clear();
        afterSpace = false;
    }

    void run()
    {
        std::unique_lock lock(mutex);
        while (!stop) {
            const qint64 now = nowUs();
            qint64 waitUs = -1;
            if (!outQueue.empty() && !writeBlocked)
                waitUs = std::max<qint64>(0, outQueue.front().dueUs - now);
            if (scanIntervalUs > 0) {
                const qint64 untilScan = std::max<qint64>(0, nextScanUs - now);
                waitUs = waitUs < 0 ? untilScan : std::min(waitUs, untilScan);
            }
            if (inFrame) {
                const qint64 untilExpiry =
                    std::max<qint64>(0, frameLastUs + kFrameTimeoutUs + 1 - now);
                waitUs = waitUs < 0 ? untilExpiry : std::min(waitUs, untilExpiry);
            }
            pollfd fds[2] = {
                {masterFd, short(POLLIN | (writeBlocked ? POLLOUT : 0)), 0},
                {wakeRead, POLLIN, 0},
            };
            const nfds_t nfds = 2;
            if (masterFd < 0)
                fds[0].fd = -1; // ignored by poll
            timespec ts{waitUs / 1'000'000, long(waitUs % 1'000'000) * 1000};

            lock.unlock();
            const int rc = ::ppoll(fds, nfds, waitUs < 0 ? nullptr : &ts, nullptr);
            unsigned char buf[4096];
            ssize_t got = 0;
            bool masterGone = false;
            if (rc > 0 && (fds[1].revents & POLLIN)) {
                char drain[64];
                while (::read(wakeRead, drain, sizeof drain) > 0) {
                }
            }
            if (rc > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
                got = ::read(masterFd, buf, sizeof buf);
                if (got < 0 && errno != EAGAIN && errno != EINTR)
                    masterGone = true;
                else if (got == 0)
                    masterGone = true;
            }
            lock.lock();

            if (masterGone) {
                // Cannot happen while we hold the slave open; stop polling rather than spin.
                closeFd(masterFd);
                outQueue.clear();
                changed.notify_all();
            }
            const qint64 at = nowUs();
            if (got > 0) {
                for (ssize_t i = 0; i < got; ++i) {
                    receivedLog.append({at, buf[i]});
                    if (!silent && !deaf())
                        feed(buf[i], at);
                }
                changed.notify_all();
            }
            expireFrame(at);
            scanDue(at);
            if (rc > 0 && (fds[0].revents & POLLOUT))
                writeBlocked = false;
            sendDue();
        }
    }

    // Writes everything that is due: a paced byte with a write() of its own, so each gets its
    // own timestamp; an unpaced reply in writes as large as the line takes.
    void sendDue()
    {
        constexpr qsizetype kMaxWrite = 64 * 1024;
        bool sentAny = false;
        while (!outQueue.empty() && masterFd >= 0 && !writeBlocked) {
            Pending &head = outQueue.front();
            if (head.dueUs > nowUs())
                break;
            const qsizetype size = std::min(head.bytes.size() - head.offset, kMaxWrite);
            const ssize_t n = ::write(masterFd, head.bytes.constData() + head.offset, size);
            if (n > 0) {
                const qint64 sentAt = nowUs();
                lastSentUs = sentAt;
                if (logSent) {
                    for (ssize_t i = 0; i < n; ++i)
                        sentLog.append({sentAt, quint8(head.bytes[head.offset + i])});
                }
                head.offset += n;
                sentAny = true;
                if (head.offset < head.bytes.size())
                    continue;
                outQueue.pop_front();
                if (!outQueue.empty()) {
                    Pending &next = outQueue.front();
                    next.dueUs = std::max(next.dueUs, sentAt + next.gapUs);
                }
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                writeBlocked = errno == EAGAIN;
            } else {
                outQueue.clear();
            }
        }
        if (sentAny || outQueue.empty())
            changed.notify_all();
    }

    void stopWorker()
    {
        {
            std::lock_guard lock(mutex);
            stop = true;
            wake();
        }
        if (worker.joinable())
            worker.join();
    }

    void removeLink()
    {
        if (link.isEmpty())
            return;
        const QByteArray path = QFile::encodeName(link);
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.constData(), target, sizeof target - 1);
        // Only remove it if it is still ours; another instance may have taken the name.
        if (n > 0 && QByteArray(target, n) == QFile::encodeName(device))
            ::unlink(path.constData());
        link.clear();
    }
};

TerminalSim::TerminalSim() : d(std::make_unique<Impl>())
{
    {
        const std::time_t t = std::time(nullptr);
        std::tm tm{};
        localtime_r(&t, &tm);
        d->clockBase = {tm.tm_mday, tm.tm_mon + 1, tm.tm_hour, tm.tm_min};
        d->clockSetUs = nowUs() - qint64(tm.tm_sec) * 1'000'000;
    }

    d->masterFd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (d->masterFd < 0)
        return;
    setCloexec(d->masterFd);
    if (::grantpt(d->masterFd) != 0 || ::unlockpt(d->masterFd) != 0) {
        closeFd(d->masterFd);
        return;
    }
    char name[PATH_MAX];
    if (::ptsname_r(d->masterFd, name, sizeof name) != 0) {
        closeFd(d->masterFd);
        return;
    }
    d->device = QFile::decodeName(name);

    // Holding the slave open ourselves keeps the pty alive when the program closes its port;
    // otherwise the master would see a hang-up and reads would fail with EIO.
    d->slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (d->slaveFd < 0) {
        closeFd(d->masterFd);
        return;
    }
    termios tio{};
    if (::tcgetattr(d->slaveFd, &tio) == 0) {
        // Raw: no CR->LF mapping, no output processing, no echo of what the program sends.
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        ::tcsetattr(d->slaveFd, TCSANOW, &tio);
    }

    const int masterFlags = ::fcntl(d->masterFd, F_GETFL);
    ::fcntl(d->masterFd, F_SETFL, masterFlags | O_NONBLOCK);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        closeFd(d->slaveFd);
        closeFd(d->masterFd);
        return;
    }
    d->wakeRead = pipeFds[0];
    d->wakeWrite = pipeFds[1];
    d->valid = true;
    d->worker = std::thread([this] { d->run(); });
}

TerminalSim::~TerminalSim()
{
    d->stopWorker();
    std::lock_guard lock(d->mutex);
    closeFd(d->masterFd);
    closeFd(d->slaveFd);
    closeFd(d->wakeRead);
    closeFd(d->wakeWrite);
    d->removeLink();
}

bool TerminalSim::isValid() const
{
    std::lock_guard lock(d->mutex);
    return d->valid;
}

QString TerminalSim::devicePath() const
{
    std::lock_guard lock(d->mutex);
    return d->device;
}

bool TerminalSim::linkAs(const QString &dir, int portNumber)
{
    std::lock_guard lock(d->mutex);
    if (!d->valid)
        return false;
    if (!QDir().mkpath(dir))
        return false;
    const QString path = QDir(dir).absoluteFilePath(QStringLiteral("com%1").arg(portNumber));
    if (!d->link.isEmpty() && d->link != path)
        d->removeLink();

    // Make the link under a temporary name and rename it over the old one, so the name
    // never points nowhere while it is being replaced.
    const QByteArray target = QFile::encodeName(d->device);
    const QByteArray finalName = QFile::encodeName(path);
    const QByteArray tmpName = finalName + ".tmp" + QByteArray::number(qint64(::getpid())) + '-' +
                               QByteArray::number(quintptr(this), 16);
    ::unlink(tmpName.constData());
    if (::symlink(target.constData(), tmpName.constData()) != 0)
        return false;
    if (::rename(tmpName.constData(), finalName.constData()) != 0) {
        ::unlink(tmpName.constData());
        return false;
    }
    d->link = path;
    return true;
}

QString TerminalSim::linkPath() const
{
    std::lock_guard lock(d->mutex);
    return d->link;
}

void TerminalSim::setRecords(const QList<QByteArray> &records)
{
    std::lock_guard lock(d->mutex);
    d->records = unshared(records);
}

void TerminalSim::addRecord(const QByteArray &record)
{
    std::lock_guard lock(d->mutex);
    d->records.append(unshared(record));
}

QList<QByteArray> TerminalSim::records() const
{
    std::lock_guard lock(d->mutex);
    return unshared(d->records);
}

int TerminalSim::clearCount() const
{
    std::lock_guard lock(d->mutex);
    return d->clearCount;
}

QByteArray TerminalSim::parameters() const
{
    std::lock_guard lock(d->mutex);
    return unshared(d->params);
}

void TerminalSim::setParameters(const QByteArray &elevenChars)
{
    std::lock_guard lock(d->mutex);
    // Keep the string exactly 11 long so the status line layout never shifts.
    QByteArray p = unshared(elevenChars.left(11));
    const QByteArray defaults = defaultParameters();
    for (qsizetype i = p.size(); i < defaults.size(); ++i)
        p += defaults[i];
    d->params = p;
}

QByteArray TerminalSim::defaultParameters()
{
    return QByteArrayLiteral("239>@CDIMSU");
}

TerminalSim::Clock TerminalSim::clock() const
{
    std::lock_guard lock(d->mutex);
    return d->currentClock();
}

void TerminalSim::setClock(Clock c)
{
    std::lock_guard lock(d->mutex);
    d->clockBase = c;
    d->clockSetUs = nowUs();
}

void TerminalSim::setFirmware(char major, char minor)
{
    std::lock_guard lock(d->mutex);
    d->fwMajor = major;
    d->fwMinor = minor;
}

void TerminalSim::setMemoryCode(char code)
{
    std::lock_guard lock(d->mutex);
    d->memoryCode = code;
}

QByteArray TerminalSim::statusLine() const
{
    std::lock_guard lock(d->mutex);
    return d->status();
}

void TerminalSim::setReplyCharDelayUs(qint64 us)
{
    std::lock_guard lock(d->mutex);
    d->charDelayUs = std::max<qint64>(0, us);
}

void TerminalSim::setSentLogging(bool on)
{
    std::lock_guard lock(d->mutex);
    d->logSent = on;
}

void TerminalSim::setScanning(int intervalMs, std::function<QByteArray()> make)
{
    std::lock_guard lock(d->mutex);
    d->scanIntervalUs = qint64(intervalMs) * 1000;
    d->nextScanUs = nowUs() + d->scanIntervalUs;
    d->makeScan = std::move(make);
    d->wake();
}

QList<QByteArray> TerminalSim::scanned() const
{
    std::lock_guard lock(d->mutex);
    return unshared(d->scannedLog);
}

void TerminalSim::setOnClear(std::function<void()> hook)
{
    std::lock_guard lock(d->mutex);
    d->onClear = std::move(hook);
}

qint64 TerminalSim::lastSentUs() const
{
    std::lock_guard lock(d->mutex);
    return d->lastSentUs;
}

void TerminalSim::setReplyCharDelayMs(int ms)
{
    std::lock_guard lock(d->mutex);
    d->charDelayUs = std::max(0, ms) * qint64(1000);
}

void TerminalSim::setWakeReply(std::optional<QByteArray> bytes)
{
    std::lock_guard lock(d->mutex);
    d->wakeReply = std::move(bytes);
}

void TerminalSim::setSilent(bool silent)
{
    std::lock_guard lock(d->mutex);
    d->silent = silent;
    if (silent)
        d->resetParser();
}

void TerminalSim::setStatusReplyOverride(std::optional<QByteArray> bytes)
{
    std::lock_guard lock(d->mutex);
    d->statusOverride = bytes ? std::optional(unshared(*bytes)) : std::nullopt;
}

void TerminalSim::setTransferOverride(std::optional<QByteArray> bytes)
{
    std::lock_guard lock(d->mutex);
    d->transferOverride = bytes ? std::optional(unshared(*bytes)) : std::nullopt;
}

void TerminalSim::setRecordTerminatorOverride(std::optional<QByteArray> terminator)
{
    std::lock_guard lock(d->mutex);
    d->terminatorOverride = terminator ? std::optional(unshared(*terminator)) : std::nullopt;
}

void TerminalSim::inject(const QByteArray &bytes)
{
    std::lock_guard lock(d->mutex);
    if (d->masterFd >= 0)
        d->queueReply(bytes, false);
}

void TerminalSim::hangUp()
{
    d->stopWorker();
    std::lock_guard lock(d->mutex);
    // Closing the master is what the program's side sees as the device vanishing.
    closeFd(d->masterFd);
    closeFd(d->slaveFd);
    d->outQueue.clear();
    d->valid = false;
    d->removeLink();
    d->changed.notify_all();
}

QList<LoggedByte> TerminalSim::received() const
{
    std::lock_guard lock(d->mutex);
    return unshared(d->receivedLog);
}

QByteArray TerminalSim::receivedBytes() const
{
    std::lock_guard lock(d->mutex);
    QByteArray out;
    out.reserve(d->receivedLog.size());
    for (const LoggedByte &b : d->receivedLog)
        out += char(b.byte);
    return out;
}

QList<LoggedByte> TerminalSim::sent() const
{
    std::lock_guard lock(d->mutex);
    return unshared(d->sentLog);
}

void TerminalSim::clearLog()
{
    std::lock_guard lock(d->mutex);
    d->receivedLog.clear();
    d->sentLog.clear();
}

bool TerminalSim::waitForReceived(int count, int timeoutMs) const
{
    std::unique_lock lock(d->mutex);
    return d->changed.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                               [&] { return d->receivedLog.size() >= count; });
}

bool TerminalSim::waitForIdle(int timeoutMs) const
{
    std::unique_lock lock(d->mutex);
    return d->changed.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                               [&] { return d->outQueue.empty(); });
}

qint64 TerminalSim::nowUs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

} // namespace sim
