#pragma once
// What the two headless programs share: their arguments, their log lines and how a signal
// stops them.

#include "headless/ServiceNotifier.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QString>

#include <optional>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace headless {

// The exit status for a bad argument, in both programs and their man pages.
inline constexpr int kBadArguments = 2;

// One line per event on standard output.
inline void logLine(Priority priority, const QString &text)
{
    std::fprintf(stdout, "<%d>%s\n", int(priority), text.toLocal8Bit().constData());
    std::fflush(stdout);
}

// A bad argument: one line on standard error, naming the program; nothing parsed.
inline std::nullopt_t refuse(const QString &why)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(why));
    return std::nullopt;
}

// Parses the arguments, answering --help and --version, which exit; false, after refuse(),
// for an unknown option or any argument that is not an option.
inline bool parseArguments(QCommandLineParser &parser, const QCoreApplication &app)
{
    if (!parser.parse(app.arguments()))
        return refuse(parser.errorText()), false;
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument: ") +
                      parser.positionalArguments().first()),
               false;
    return true;
}

// --dir, else the current folder: absolute and clean, so that one folder is named one way in
// the log, the status and the shipper's station.
inline QString folderArgument(const QCommandLineParser &parser, const QCommandLineOption &dir)
{
    return QDir::cleanPath(
        QFileInfo(parser.isSet(dir) ? parser.value(dir) : QDir::currentPath()).absoluteFilePath());
}

inline int stopPipe[2] = {-1, -1};

// SIGTERM and SIGINT make the returned descriptor readable, for the event loop (and for any
// wait that must end on a stop) to see at a safe point. -1 when that cannot be set up.
inline int stopOnSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stopPipe) != 0)
        return -1;
    struct sigaction action = {};
    action.sa_handler = [](int) {
        const char c = 1;
        [[maybe_unused]] const auto n = ::write(stopPipe[1], &c, 1);
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return stopPipe[0];
}

} // namespace headless
