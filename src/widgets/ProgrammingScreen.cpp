#include "ProgrammingScreen.h"

#include "core/link/PortGuard.h"
#include "core/state/Dialogs.h"
#include "core/state/ProgramState.h"
#include "widgets/ClockScreen.h"
#include "widgets/Controls.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kColumns = 4;

} // namespace

ProgrammingScreen::ProgrammingScreen(ProgramState &state, QWidget *parent)
    : QDialog(parent), m_state(state),
      m_exchange(state.Comm1, state.dialogs, *this, ExchangeStyle::overMainWindow())
{
    setObjectName(QStringLiteral("progra"));
    setWindowTitle(tr("Programmazione"));
    setStyleSheet(QStringLiteral("#progra { background-color: #e0e0e0; }"
                                 "#Panel3D11, #Panel3D14 { color: #ff0000; }"));
    buildControls();
    Form_Load();
}

ProgrammingScreen::~ProgrammingScreen() = default;

void ProgrammingScreen::buildControls()
{
    auto *grid = new QGridLayout(this);
    QVBoxLayout *columns[kColumns];
    for (int c = 0; c < kColumns; ++c) {
        columns[c] = new QVBoxLayout;
        grid->addLayout(columns[c], 0, c);
        grid->setColumnStretch(c, 1);
    }
    // The groups the status line does not report get a row of their own at the bottom.
    auto *unreported = new QHBoxLayout;
    for (const ParameterGroup &g : parameterGroups()) {
        QWidget *frame = buildGroup(g);
        if (g.reported())
            columns[g.column]->addWidget(frame, int(g.values.size()));
        else
            unreported->addWidget(frame);
    }

    auto *panel6 = makePanel("panel3d6", this);
    auto *panel6Row = new QHBoxLayout(panel6);
    auto *restore = named<QPushButton>("Command20", panel6, tr("Ripristina Default"));
    auto *exit = named<QPushButton>("Command3", panel6, tr("Uscita"));
    panel6Row->addWidget(restore);
    panel6Row->addWidget(exit);
    grid->addWidget(panel6, 1, 0, 1, 2);

    auto *panel12 = makePanel("panel3d12", this);
    auto *clockButton = named<QPushButton>("Command3d16", panel12, tr("Data / Ora"));
    (new QHBoxLayout(panel12))->addWidget(clockButton);
    grid->addWidget(panel12, 1, 2);

    auto *clockBox = new QGridLayout;
    auto *label1 = named<QLabel>("Label1", this, tr("Data/Ora  Terminale:"));
    m_datePanel = named<QLabel>("Panel3D11", this);
    m_timePanel = named<QLabel>("Panel3D14", this);
    clockBox->addWidget(label1, 0, 0, 1, 2);
    clockBox->addWidget(m_datePanel, 1, 0);
    clockBox->addWidget(m_timePanel, 1, 1);
    grid->addLayout(clockBox, 1, 3);

    unreported->addStretch(1);
    grid->addLayout(unreported, 2, 0, 1, kColumns);

    connect(restore, &QPushButton::clicked, this, &ProgrammingScreen::Command20_Click);
    connect(exit, &QPushButton::clicked, this, &ProgrammingScreen::Command3_Click);
    connect(clockButton, &QPushButton::clicked, this, &ProgrammingScreen::Command3d16_Click);
    // Everything that could start a second exchange is locked during one; the original left
    // the clock button and the two off-screen groups out, which the time-out path's one
    // pass of window events could reach.
    m_lockable << restore << exit << clockButton;
}

QWidget *ProgrammingScreen::buildGroup(const ParameterGroup &group)
{
    auto *frame = named<QGroupBox>(group.frame, this, captionText(group));
    auto *rows = new QGridLayout(frame);
    int row = 0;
    for (const ParameterValue &v : group.values) {
        QPushButton *button = named<QPushButton>(v.button, frame, captionText(v));
        auto *indicator = named<QCheckBox>(v.indicator, frame);
        indicator->setAccessibleName(indicatorName(group, v));
        // An indicator shows what the terminal holds; only the program sets it.
        indicator->setAttribute(Qt::WA_TransparentForMouseEvents);
        indicator->setFocusPolicy(Qt::NoFocus);
        rows->addWidget(button, row, 0);
        rows->addWidget(indicator, row, 1);
        ++row;
        m_indicators.insert(QLatin1String(v.indicator), indicator);
        connect(button, &QPushButton::clicked, this, [this, &v] { sendValue(v); });
    }
    rows->setRowStretch(row, 1);
    m_lockable << frame;
    return frame;
}

void ProgrammingScreen::Form_Load()
{
    applyIndicators(decodeConfigString(m_state.ConfigString));
    showClock(showTerminalClock(m_state.ConfigString));
}

void ProgrammingScreen::showClock(const ClockTexts &clock)
{
    m_clock = clock;
    showNamedValue(m_datePanel, tr("Data terminale"), clock.date);
    showNamedValue(m_timePanel, tr("Ora terminale"), clock.time);
}

void ProgrammingScreen::applyIndicators(const IndicatorStates &states)
{
    for (auto it = states.cbegin(); it != states.cend(); ++it)
        m_indicators.value(it.key())->setChecked(it.value());
}

void ProgrammingScreen::lockControls()
{
    m_busy = true;
    for (QWidget *w : std::as_const(m_lockable))
        w->setEnabled(false);
}

void ProgrammingScreen::unlockControls()
{
    for (QWidget *w : std::as_const(m_lockable))
        w->setEnabled(true);
    m_busy = false;
}

void ProgrammingScreen::sendValue(const ParameterValue &value)
{
    const ParameterGroup *group = groupOf(value);
    const bool fullForm = !group || group->reported();
    if (fullForm && !m_state.port.ensurePortUsable())
        return;
    m_state.port.runGuarded(*this, PortGuard::Midway::FailureMessage, [&] {
        if (fullForm)
            lockControls();
        const auto sendCode = [&] {
            m_exchange.flushInput();
            m_exchange.sendCommand(value.code, terminal::kFrameGapMs);
        };
        if (m_state.dialogs.question(m_exchange.style().title, questionText(value)) &&
            m_exchange.sendSetting(sendCode, fullForm))
            applyIndicators(indicatorUpdate(value));
        unlockControls();
    });
}

void ProgrammingScreen::Command20_Click()
{
    sendValue(restoreDefaults());
}

void ProgrammingScreen::Command3d16_Click()
{
    if (!m_state.port.ensurePortUsable())
        return;
    // The panels are where the terminal's clock is kept: the screen starts from them and
    // they show what it sent.
    ClockScreen screen(m_state, m_clock, this);
    if (screen.exec() == QDialog::Accepted)
        showClock(screen.sent());
}

void ProgrammingScreen::Command3_Click()
{
    done(QDialog::Accepted);
}

void ProgrammingScreen::reject()
{
    // Closing by the frame or Esc is "Uscita", except in the middle of an exchange.
    if (!m_busy)
        Command3_Click();
}
