#pragma once

#include "ScriptedDialogs.h"
#include "TerminalSim.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Records lock/unlock calls so tests can check that every path unlocks.
class RecordingLock : public ControlLock {
public:
    QStringList calls;
    void lockControls() override { calls << QStringLiteral("lock"); }
    void unlockControls() override { calls << QStringLiteral("unlock"); }
};

// A fresh working directory with a simulated terminal linked as com1, and a SerialLink
// opened on it through the real QSerialPort path.
struct SimFixture {
    QTemporaryDir tempDir;
    QDir dir;
    sim::TerminalSim terminal;
    std::unique_ptr<SerialLink> link;
    ScriptedDialogs dialogs;
    RecordingLock lock;

    SimFixture();
    bool openLink(int portNumber = 1);
    Exchange exchange(ExchangeStyle style = {});
};

// Milliseconds between consecutive logged bytes (size - 1 entries).
QList<double> gapsMs(const QList<sim::LoggedByte> &bytes);
QByteArray bytesOf(const QList<sim::LoggedByte> &bytes);
