#include "ProgramChild.h"

#include "ScriptedDialogs.h"
#include "mainwindow/Scarico.h"
#include "polling/PollScreen.h"
#include "state/ProgramState.h"

#include <QApplication>
#include <QFile>

int runPollingProgram(const QString &dir)
{
    ScriptedDialogs dialogs;
    ProgramState state{QDir(dir), dialogs};
    Scarico window(state);
    window.Form_Load();
    PollScreen screen(state, &window);
    screen.show();
    return QApplication::exec();
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
