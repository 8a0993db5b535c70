#include "ProgramChild.h"

#include "ScriptedDialogs.h"
#include "link/PortChoice.h"
#include "polling/PollCycle.h"
#include "state/ProgramState.h"

#include <QFile>

int runPollingProgram(const QString &dir)
{
    ScriptedDialogs dialogs;
    ProgramState state{QDir(dir), dialogs};
    SerialLink &link = state.Comm1;
    link.setInBufferSize(terminal::kInBufferSize);
    link.setSettings(terminal::kLineSettings);
    link.setCommPort(portchoice::load(state.workingDir, 0));
    link.setPortOpen(true);
    PollStore store(state.workingDir);
    PollCycle cycle(link, state.port, dialogs, store, state.pollStopRequested);
    cycle.run();
    return 0;
}

double procStatusMb(qint64 pid, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}
