#pragma once

#include "core/link/Exchange.h"

#include <QDateTime>
#include <QDialog>
#include <QPointer>

#include <array>
#include <functional>
#include <optional>

#include "core/clock/TerminalClock.h"

class QLabel;
class QLineEdit;
class QPushButton;
struct ProgramState;

// "Data/Ora": sets the terminal's clock from four two-digit boxes or from the PC's clock.
// It starts from the clock as the programming screen shows it and, once the clock is set,
// closes accepted with what it sent.
class ClockScreen : public QDialog, public ControlLock {
    Q_OBJECT
public:
    using Now = std::function<QDateTime()>;

    ClockScreen(ProgramState &state, const ClockTexts &terminalClock, QWidget *parent = nullptr,
                Now now = &QDateTime::currentDateTime);
    ~ClockScreen() override;

    // The whole of "Invia" is one busy stretch (setBusy); the exchange's own unlock on a
    // status line that stops short must not end it halfway.
    void lockControls() override {}
    void unlockControls() override {}

    // The clock as sent, in the programming screen's form; set once the screen is accepted.
    const ClockTexts &sent() const { return m_sent; }

    // 1 when the day fits the month (no year: 29 February always does); otherwise the day
    // box is emptied and focused.
    bool checkDayOfMonth();

public slots:
    void Command3d1_Click(); // "Invia": clockFromBoxes, then sendClock
    void sistema_Click();    // "Sistema": the PC's clock into the boxes, then "Invia"
    void Command3d3_Click(); // "uscita"

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Esc and the frame's close are "uscita", except in the middle of an exchange.
    void reject() override;

private:
    enum Box { Day, Month, Hours, Minutes, BoxCount };

    void Form_Load(const ClockTexts &terminalClock);
    void Text_Change(Box box);
    void showPcClock(const QDateTime &at);
    // The boxes' clock, padded to two digits, or nothing when a box is refused.
    std::optional<TerminalClock> clockFromBoxes();
    // The clock to the terminal as a setting; once it is set the screen closes accepted.
    void sendClock(const TerminalClock &clock);
    // Empties the box when asked, gives it the focus, and returns false to stop "Invia".
    bool refuse(Box box, bool empty);
    // Busy: the buttons are disabled and nothing queued meanwhile starts a second exchange
    // or closes the screen under it.
    void setBusy(bool busy);

    ProgramState &m_state;
    ClockTexts m_sent;
    Now m_now;
    Exchange m_exchange;
    std::array<QLineEdit *, BoxCount> m_boxes{};
    QLabel *m_pcClock = nullptr;
    QList<QPushButton *> m_buttons;
    QPointer<QWidget> m_focusBeforeBusy;
    bool m_busy = false;
};
