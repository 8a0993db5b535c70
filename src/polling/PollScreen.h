#pragma once

#include "PollStore.h"
#include "link/Exchange.h"
#include "ui/ByteListModel.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <memory>

namespace Ui {
class PollScreen;
}
class PortGuard;
struct ProgramState;

// The polling screen: about once a second it wakes the terminal, reads its status and, when
// it holds records, fetches them into the day's poll file and the list, then clears it.
class PollScreen : public QDialog, public ControlLock {
    Q_OBJECT
public:
    PollScreen(ProgramState &state, PortGuard &port, QWidget *parent = nullptr,
               PollStore::Today today = PollStore::systemToday());
    ~PollScreen() override;

    void lockControls() override;
    void unlockControls() override;

    // Where a transfer that never falls silent is cut off (the terminal then keeps its
    // memory). Far above any real memory by default.
    void setTransferLimit(qint64 bytes) { m_transferLimit = bytes; }

    static constexpr const char *kWriteErrorText = "Errore scrittura file dati";

public slots:
    void Command2_Click();
    void Command4_Click();
    void List1_Click(const QModelIndex &index);
    void Timer2_Timer();

protected:
    void reject() override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    enum Outcome { NothingObtained = 0, Answered = 1, Transferred = 2 };

    void Form_Load();
    void runPollingCycle();
    Outcome pollOnce();
    Outcome readStatusReply(double &memoryFigure);
    Outcome fetchRecords();
    void clearAfterFetch();
    bool wakeTerminal();
    void storePolledRecord(const QByteArray &line);
    // Reads the records of one transfer until the line falls silent, the limit is reached
    // or a wait is abandoned; a line left without its CR at the end is passed back.
    Exchange::Wait receiveRecords(QByteArray &line);
    // Lets the window's events run, and shows the records received so far, when the last
    // time was long enough ago: often enough to stay live, rarely enough to cost nothing.
    void keepWindowLive();

    // The screen's port check: on failure the operator is told once, the main window shows
    // the port as unavailable and the cycle is asked to stop.
    bool portOk();
    bool flushInput();
    // Runs a step of the cycle; a serial failure inside it ends the step.
    void guarded(const std::function<void()> &step);
    void showIndicator(bool onLine);
    void setControlsEnabled(bool enabled);

    ProgramState &m_state;
    PortGuard &m_port;
    std::unique_ptr<Ui::PollScreen> m_ui;
    PollStore m_store;
    ByteListModel m_records;
    QElapsedTimer m_lastEvents;
    QElapsedTimer m_lastShown;
    qint64 m_viewCostMs = 0;
    Exchange m_exchange;
    QTimer m_timer2;
    bool m_cycleRunning = false;
    bool m_portFailed = false;
    bool m_stopEndsWaits = false;
    qint64 m_transferLimit = terminal::kMaxTransferBytes;
    // Per transfer: whether every record reached the disk, and whether the whole memory came.
    bool m_transferStored = true;
    bool m_transferComplete = true;
};
