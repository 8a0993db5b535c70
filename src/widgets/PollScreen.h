#pragma once

#include "core/polling/PollCycle.h"
#include "core/polling/PollStore.h"
#include "core/polling/PollerStateReporter.h"
#include "widgets/ByteListModel.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>
#include <optional>

struct ProgramState;

// The polling screen: a view over the polling cycle. It starts the cycle 200 ms after it
// opens and shows what the cycle reports: the on-line indicator, the terminal's state, the
// day's file in the caption and every record in the list.
class PollScreen : public QDialog {
    Q_OBJECT
public:
    explicit PollScreen(ProgramState &state, QWidget *parent = nullptr,
                        PollStore::Today today = PollStore::systemToday());
    ~PollScreen() override;

    PollCycle &cycle() { return m_cycle; }

    static constexpr const char *kWriteErrorText =
        QT_TRANSLATE_NOOP("PollScreen", "Errore scrittura file dati");

public slots:
    void Command2_Click();                      // "Uscita"
    void Command4_Click();                      // "Cancella Lista"
    void List1_Click(const QModelIndex &index); // a record: its position in La1
    void Timer2_Timer();                        // starts the cycle once the screen is up

protected:
    void reject() override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Load();
    void runPollingCycle();
    void showIndicator(bool onLine);
    void showNoTerminal(const QString &state);
    void showTransferEnd(bool stored);
    void setControlsEnabled(bool enabled);
    // Lets the window's events run, and shows the records received so far when the last
    // time was long enough ago: often enough to stay live, rarely enough to cost nothing.
    void keepWindowLive();

    ProgramState &m_state;
    struct Controls;
    std::unique_ptr<Controls> m_ui;
    PollStore m_store;
    PollCycle m_cycle;
    // The state file, from the cycle's start until the screen goes.
    std::optional<PollerStateReporter> m_stateReport;
    ByteListModel m_records;
    QElapsedTimer m_lastShown;
    qint64 m_viewCostMs = 0;
    QTimer m_timer2;
};
