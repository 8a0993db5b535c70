#pragma once

#include "ScriptedDialogs.h"
#include "TerminalSim.h"
#include "TestFiles.h"
#include "core/link/Exchange.h"
#include "core/link/SerialLink.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QThread>

#include <memory>

// The exchange routines need a screen to lock; these tests have none.
class NoControls : public ControlLock {
public:
    void lockControls() override {}
    void unlockControls() override {}
};

// A fresh working folder with a simulated terminal linked as com1, and a SerialLink
// opened on it through the real QSerialPort path.
struct SimFixture : WorkDir {
    sim::TerminalSim terminal;
    std::unique_ptr<SerialLink> link;
    ScriptedDialogs dialogs;
    NoControls lock;

    SimFixture();
    bool openLink(int portNumber = 1);
    Exchange exchange(ExchangeStyle style = {});
};

// A fault on the line, as comma-separated steps: "silent" (switched off), "wake=HEX" (that
// byte answers the wake-up), "status=TEXT" (that reply to "?", CR included if wanted),
// "noise" (500 random bytes and a CR in its place), "transfer=TEXT" (that reply to "7"),
// "terminator=CR", "slow=MS" (between reply characters), "gone" (the device goes away),
// "cut=TEXT*N" (the cable is pulled 120 ms after the terminal received TEXT N times: the
// returned thread does it, and must be waited for).
std::unique_ptr<QThread> putFault(sim::TerminalSim &terminal, const QString &steps);

// Starts poller (the corvane-poll at pollerPath) on the terminal through a second name of its
// device, dir/com2, polling into dir; true once it has asked the terminal for its status, so
// it holds the port.
bool holdThroughAnotherLink(QProcess &poller, const QString &pollerPath, sim::TerminalSim &terminal,
                            const QDir &dir);

// count records "<prefix>00000;0001", "<prefix>00001;0001", ...
QList<QByteArray> numberedRecords(int count, const char *prefix);
// The poll file's bytes for these records.
QByteArray lines(const QList<QByteArray> &records);

// n random bytes, the same each run; CR left out unless withCr.
QByteArray randomBytes(int n, bool withCr);

// The terminal timestamps bytes as its thread reads them, a few ms after they arrive; a gap
// between two bytes may therefore look shorter than the pause that made it.
constexpr double kReadJitterMs = 15.0;

// Empty when every gap between the first expected.size() + 1 logged bytes is the expected
// pause (ms), give or take the read jitter and lateMs; otherwise what was off.
QString checkGaps(const QList<sim::LoggedByte> &bytes, const QList<double> &expected,
                  double lateMs);

// Milliseconds between consecutive logged bytes (size - 1 entries).
QList<double> gapsMs(const QList<sim::LoggedByte> &bytes);
QByteArray bytesOf(const QList<sim::LoggedByte> &bytes);
