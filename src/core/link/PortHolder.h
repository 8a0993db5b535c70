#pragma once

#include <QString>

#include <optional>

// The process that holds a serial device, found the way an administrator would: the device's
// lock file (the name every serial program uses: LCK..ttyUSB0) and the process table. Lets a
// refusal say whom to stop instead of only that the port is busy.
struct PortHolder {
    qint64 pid = 0;
    QString program; // the process's name
    QString unit;    // its system service ("corvane-poll@1.service"), when it runs as one

    // The holder of device (a real device path, links resolved), other than this process;
    // nothing when it cannot be known.
    static std::optional<PortHolder> find(const QString &device);

    // One line for the operator (Italian) and one for the log (English): who, and what to do.
    QString operatorLine() const;
    QString logText() const;

private:
    static std::optional<PortHolder> describe(qint64 pid);
    QString stopCommand() const;
};
