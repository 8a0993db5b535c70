#pragma once
// What the two headless programs share: their log lines and how a signal stops them.

#include <QString>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace headless {

// The journal's priority prefixes.
enum class Priority { Error = 3, Warning = 4, Info = 6 };

// One line per event on standard output.
inline void logLine(Priority priority, const QString &text)
{
    std::fprintf(stdout, "<%d>%s\n", int(priority), text.toLocal8Bit().constData());
    std::fflush(stdout);
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
