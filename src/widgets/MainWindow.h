#pragma once

#include "core/link/Exchange.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QMenu;
struct ProgramState;

// The start-up window: port choice, the memory commands, and the doors to the other screens.
class MainWindow : public QMainWindow, public ControlLock {
    Q_OBJECT
public:
    explicit MainWindow(ProgramState &state, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Start-up, run once before the window is first shown.
    void Form_Load();

    void lockControls() override;
    void unlockControls() override;

    // Opens the chosen port with the line's settings; a port that will not open is marked
    // unavailable and the operator told why.
    void openPort();
    // Wake-up plus status line as a presence check.
    Exchange::Presence queryStatus();

public slots:
    // The legacy names say which control; the same name is another button on another screen.
    void Combo1_Click();    // the port list: opens the chosen port (openPort)
    void Command2_Click();  // "Cancella Memoria": clearMemory
    void Command3_Click();  // "Uscita": leaveProgram
    void Command5_Click();  // "Versione Firmware": showFirmwareVersion
    void Command6_Click();  // "Visualizza dati": opens the viewer
    void Command7_Click();  // "Record in Memoria": countRecords
    void Command8_Click();  // "Preferenze": openProgramming
    void Command10_Click(); // "Polling": opens the polling screen
    void info_Click();      // menu "Informazioni": the information box
    void setta_Click();     // menu "Settaggi": which record terminators the download expects

signals:
    // The operator confirmed the exit; the port is already closed.
    void exitConfirmed();

private:
    // The operations behind the buttons; the terminal's run inside runTerminalCommand.
    // Presence check, the operator's confirmation, then the terminal's memory cleared.
    void clearMemory();
    // Presence check, then the records counted on screen and the total shown.
    void countRecords();
    // The status line's firmware version, shown in a message.
    void showFirmwareVersion(const QByteArray &statusLine);
    // The programming screen, opened on the status line just read.
    void openProgramming(const QByteArray &statusLine);
    // Asks, closes the port and asks the application to quit.
    void leaveProgram();

    void buildMenus();
    // The port marked unavailable: the caption says "PDT" and only the port list and the
    // exit stay usable.
    void showPortUnavailable();
    // The command buttons (with or without "Uscita") and both menus, in their fixed order.
    void setCommandsEnabled(bool enabled, bool includingExit);
    // Checks the port, then runs the exchange; a port lost midway ends it with the port
    // message and the buttons back.
    void runTerminalCommand(const std::function<void()> &body);
    // runTerminalCommand for an operation on the status line: the wake-up, "?" and the line,
    // then the operation. On failure the operator has been told; the buttons come back.
    void runOnStatusLine(void (MainWindow::*operation)(const QByteArray &statusLine));

    ProgramState &m_state;
    struct Controls;
    std::unique_ptr<Controls> m_ui;
    Exchange m_exchange;
    QMenu *m_fil = nullptr;
    QMenu *m_hlp = nullptr;
};
