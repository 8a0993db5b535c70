#pragma once

#include "core/link/PortGuard.h"
#include "core/link/SerialLink.h"
#include "core/state/StartupSettings.h"

#include <QByteArray>
#include <QDir>

class Dialogs;

// The program-wide values, made once by the application (and once per test) and handed to
// the screens by reference.
struct ProgramState {
    ProgramState(const QDir &dir, Dialogs &messageBoxes)
        : workingDir(dir), Comm1(dir), dialogs(messageBoxes), port(Comm1, messageBoxes)
    {
        Comm1.setObjectName(QStringLiteral("Comm1"));
    }

    QDir workingDir;         // where portacom, kx7p.cfg and the poll files live
    SerialLink Comm1;        // the one serial port
    Dialogs &dialogs;        // every message box and beep
    qint16 PortNumber = 0;   // 1..16 once chosen
    PortGuard port;          // checkPortUsable and "port unavailable"
    QByteArray ConfigString; // status line read before the programming screen opens
    bool pollStopRequested = false;
    StartupSettings startup;
};
