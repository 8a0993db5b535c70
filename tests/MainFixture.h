#pragma once

#include "Messages.h"
#include "ScriptedDialogs.h"
#include "TerminalSim.h"
#include "TestFiles.h"
#include "core/state/ProgramState.h"
#include "widgets/MainWindow.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

// The controls enabledControls() looks at, which it gives when every one is usable, and what
// it gives when the port is down.
const QString kAll = QStringLiteral("Command2 Command3 Command5 Command6 Command7 Command8 "
                                    "Command10 fil hlp Combo1");
const QString kPortDown = QStringLiteral("Command3 Combo1");

// A working folder with the simulated terminal linked as com1, fresh program-wide state
// and the main window over them. Files may be placed in dir before start() runs Form_Load.
struct MainFixture : WorkDir {
    sim::TerminalSim terminal;
    ScriptedDialogs dialogs;
    ProgramState state{dir, dialogs};
    std::unique_ptr<MainWindow> window;

    MainFixture() { terminal.linkAs(dir.path(), 1); }
    void start();
    // "Command2 Command3 ... fil hlp Combo1" for the controls that are enabled.
    QString enabledControls() const;
    template <typename T> T *child(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
};

// Runs act on the next modal window to open, then, once closeWhen holds (at once when not
// given), closes that window if it is still open: a check that fails inside act fails the
// test at once instead of leaving it blocked in the window's event loop. opened is the
// window's object name, empty while none has opened.
class OnModal {
public:
    explicit OnModal(std::function<void(QWidget *)> act = {}, std::function<bool()> closeWhen = {});
    QString opened;

private:
    QTimer m_poll;
    QElapsedTimer m_clock;
    QWidget *m_before;
    QPointer<QWidget> m_modal;
};
