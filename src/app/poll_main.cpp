// corvane-poll: the polling cycle without a window, for a terminal left in its cradle all
// day. One instance per terminal; meant to run as a systemd service (corvane-poll@N).
#include "headless/Headless.h"
#include "poll/Poller.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>

#include <optional>

#include <unistd.h>

namespace {

// Parses the arguments; on a bad one says why on standard error and returns nothing.
std::optional<Poller::Options> parseOptions(const QCoreApplication &app)
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

    Poller::Options o;
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-poll"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    const std::optional<Poller::Options> options = parseOptions(app);
    if (!options)
        return headless::kBadArguments;

    // The cycle sees the stop at its next safe point.
    const int stopFd = headless::stopOnSignals();
    if (stopFd < 0)
        return 1;

    Poller poller(*options);
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
