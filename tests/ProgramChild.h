#pragma once

#include <QString>

// The polling cycle on DIR's port, for tests and benchmarks that run it as a child process
// they can measure or kill. Runs until the process ends.
int runPollingProgram(const QString &dir);

// A figure of /proc/PID/status, such as "VmHWM" or "VmRSS", in MB; -1 when unreadable.
double procStatusMb(qint64 pid, const char *field);
