// corvane-terminal-simulator: a simulated data terminal on a pseudo-terminal, for demos and manual
// testing. The program is pointed at DIR/comN, which links to the pty.

#include "TerminalSim.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include <signal.h>

namespace {

void usage(const char *argv0)
{
    std::fprintf(stderr,
                 "usage: %s --dir DIR [--port N] [--demo] [--scan-interval MS]\n"
                 "  Makes a pseudo-terminal that behaves like the data terminal, links\n"
                 "  DIR/comN (default N = 1) to it and prints the device path.\n"
                 "  --demo  start with 3 records and scan a new one every 4 seconds.\n"
                 "  --scan-interval MS  scan a new record every MS milliseconds.\n"
                 "  Runs until SIGINT or SIGTERM, then removes the link.\n",
                 argv0);
}

class RecordMaker {
public:
    RecordMaker() : rng(std::random_device{}()) {}

    // An EAN-13 with a valid check digit, ";" and a 5-digit quantity.
    QByteArray next()
    {
        static const char *const prefixes[] = {"800", "801", "803", "805", "807", "400", "590"};
        std::uniform_int_distribution<int> pickPrefix(0, int(std::size(prefixes)) - 1);
        std::uniform_int_distribution<int> digit(0, 9);
        QByteArray code = prefixes[pickPrefix(rng)];
        while (code.size() < 12)
            code += char('0' + digit(rng));
        int sum = 0;
        for (int i = 0; i < 12; ++i)
            sum += (code[i] - '0') * (i % 2 == 0 ? 1 : 3);
        code += char('0' + (10 - sum % 10) % 10);

        // Mostly small counts, now and then a bulk one.
        std::uniform_int_distribution<int> small(1, 24);
        std::uniform_int_distribution<int> bulk(25, 1500);
        std::uniform_int_distribution<int> oneIn(0, 5);
        const int qty = oneIn(rng) == 0 ? bulk(rng) : small(rng);
        return code + ';' + QByteArray::number(qty).rightJustified(5, '0');
    }

private:
    std::mt19937 rng;
};

// A whole number of at least 1 from an option's argument, or a complaint on stderr.
bool positive(const char *argv0, const char *what, const char *text, int &value)
{
    bool ok = false;
    value = QByteArray(text).toInt(&ok);
    if (ok && value >= 1)
        return true;
    std::fprintf(stderr, "%s: bad %s '%s'\n", argv0, what, text);
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QString dir;
    int port = 1;
    bool demo = false;
    int scanMs = 0;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--dir" && i + 1 < argc) {
            dir = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--port" && i + 1 < argc) {
            if (!positive(argv[0], "port number", argv[++i], port))
                return 2;
        } else if (arg == "--demo") {
            demo = true;
        } else if (arg == "--scan-interval" && i + 1 < argc) {
            if (!positive(argv[0], "scan interval", argv[++i], scanMs))
                return 2;
        } else if (arg == "--help" || arg == "-h") {
            usage(argv[0]);
            return 0;
        } else {
            usage(argv[0]);
            return 2;
        }
    }
    if (dir.isEmpty()) {
        usage(argv[0]);
        return 2;
    }

    // Block the stop signals before the sim's thread exists so it inherits the mask and only
    // this thread ever takes them, through sigtimedwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::TerminalSim terminal;
    if (!terminal.isValid()) {
        std::fprintf(stderr, "%s: cannot create a pseudo-terminal: %s\n", argv[0],
                     std::strerror(errno));
        return 1;
    }
    if (!terminal.linkAs(dir, port)) {
        std::fprintf(stderr, "%s: cannot link %s/com%d to %s: %s\n", argv[0],
                     dir.toLocal8Bit().constData(), port,
                     terminal.devicePath().toLocal8Bit().constData(), std::strerror(errno));
        return 1;
    }

    RecordMaker maker;
    if (demo) {
        QList<QByteArray> initial;
        for (int i = 0; i < 3; ++i)
            initial.append(maker.next());
        terminal.setRecords(initial);
        scanMs = scanMs ? scanMs : 4000;
    }
    if (scanMs) {
        // Made on the terminal's own thread, as it scans.
        terminal.setScanning(scanMs, [&maker] {
            const QByteArray record = maker.next();
            std::fprintf(stderr, "scanned %s\n", record.constData());
            return record;
        });
    }

    std::printf("%s\n", terminal.devicePath().toLocal8Bit().constData());
    std::fflush(stdout);
    std::fprintf(stderr, "%s -> %s\n", terminal.linkPath().toLocal8Bit().constData(),
                 terminal.devicePath().toLocal8Bit().constData());

    int sig = 0;
    while (sig != SIGINT && sig != SIGTERM)
        sig = sigwaitinfo(&stopSignals, nullptr);
    // What it still holds, so that a run can tell a record never fetched from one lost.
    for (const QByteArray &record : terminal.records())
        std::fprintf(stderr, "held %s\n", record.constData());
    std::fprintf(stderr, "stopping\n");
    return 0;
}
