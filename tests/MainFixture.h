#pragma once

#include "ScriptedDialogs.h"
#include "TerminalSim.h"
#include "TestFiles.h"
#include "mainwindow/MainWindow.h"
#include "state/ProgramState.h"

#include <QTemporaryDir>

#include <memory>

// A working directory with the simulated terminal linked as com1, fresh program-wide state
// and the main window over them. Files may be placed in dir before start() runs Form_Load.
struct MainFixture {
    QTemporaryDir tempDir;
    QDir dir{tempDir.path()};
    sim::TerminalSim terminal;
    ScriptedDialogs dialogs;
    ProgramState state{dir, dialogs};
    std::unique_ptr<MainWindow> window;

    MainFixture() { terminal.linkAs(dir.path(), 1); }
    void writeFile(const QString &name, const QByteArray &bytes) { writeBytes(dir, name, bytes); }
    QByteArray readFile(const QString &name) const { return fileBytes(dir, name); }
    void start();
    // "Command2 Command3 ... fil hlp Combo1" for the controls that are enabled.
    QString enabledControls() const;
    template <typename T> T *child(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
};
