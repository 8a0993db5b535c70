#pragma once

#include "core/clock/TerminalClock.h"
#include "core/link/Exchange.h"
#include "core/programming/ParameterCatalogue.h"

#include <QDialog>
#include <QHash>
#include <QList>

class QCheckBox;
class QLabel;
struct ParameterGroup;
struct ProgramState;

// "Programmazione": the terminal's parameters as it last reported them, one button per value
// to change them, the defaults, and the door to the clock screen.
class ProgrammingScreen : public QDialog, public ControlLock {
    Q_OBJECT
public:
    ProgrammingScreen(ProgramState &state, QWidget *parent = nullptr);
    ~ProgrammingScreen() override;

    void lockControls() override;
    void unlockControls() override;

    // Confirms, proves the terminal is listening, sends the value's code and marks it. Values
    // of the unreported groups take the short road: no port check and no second wake-up.
    void sendValue(const ParameterValue &value);

public slots:
    void Command3_Click();    // "Uscita"
    void Command20_Click();   // "Ripristina Default"
    void Command3d16_Click(); // "Data / Ora": the clock screen

protected:
    void reject() override;

private:
    void Form_Load();
    void buildControls();
    QWidget *buildGroup(const ParameterGroup &group);
    void applyIndicators(const IndicatorStates &states);
    void showClock(const ClockTexts &clock);

    ProgramState &m_state;
    Exchange m_exchange;
    QHash<QString, QCheckBox *> m_indicators;
    QList<QWidget *> m_lockable;
    QLabel *m_datePanel = nullptr;
    QLabel *m_timePanel = nullptr;
    ClockTexts m_clock;
    bool m_busy = false;
};
