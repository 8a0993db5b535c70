#pragma once

#include "link/Exchange.h"

#include <QDateTime>
#include <QDialog>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class PortGuard;
struct ProgramState;

// "Data/Ora": sets the terminal's clock from four two-digit boxes or from the PC's clock.
// It starts from, and writes what it sent back to, the programming screen's clock panels.
class ClockScreen : public QDialog, public ControlLock {
    Q_OBJECT
public:
    using Now = std::function<QDateTime()>;

    ClockScreen(ProgramState &state, PortGuard &port, QLabel &datePanel, QLabel &timePanel,
                QWidget *parent = nullptr, Now now = &QDateTime::currentDateTime);
    ~ClockScreen() override;

    // Nothing to lock: its waits take no operator input.
    void lockControls() override {}
    void unlockControls() override {}

    // 1 when the day fits the month (no year: 29 February always does); otherwise the day
    // box is emptied and focused.
    bool checkDayOfMonth();

public slots:
    void Command3d1_Click();
    void sistema_Click();
    void Command3d3_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum Box { Day, Month, Hours, Minutes, BoxCount };

    void Form_Load();
    void Text_Change(Box box);
    void showPcClock(const QDateTime &at);
    // Empties the box when asked, gives it the focus, and returns false to stop "Invia".
    bool refuse(Box box, bool empty);

    ProgramState &m_state;
    PortGuard &m_port;
    QLabel &m_datePanel;
    QLabel &m_timePanel;
    Now m_now;
    Exchange m_exchange;
    std::array<QLineEdit *, BoxCount> m_boxes{};
    QLabel *m_pcClock = nullptr;
    QPushButton *m_send = nullptr;
};
