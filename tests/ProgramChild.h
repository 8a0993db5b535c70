#pragma once

#include <QString>

// The polling cycle alone on DIR's port (the one portacom names), for the crash test, which
// runs it as a child process and kills it. Runs until the process ends.
int runPollingProgram(const QString &dir);

// A figure of /proc/PID/status, such as "VmHWM" or "VmRSS", in MB; -1 when unreadable.
double procStatusMb(qint64 pid, const char *field);
