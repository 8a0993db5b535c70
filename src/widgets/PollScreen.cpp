#include "PollScreen.h"

#include "core/state/Dialogs.h"
#include "core/state/DisplayText.h"
#include "core/state/ProgramState.h"
#include "widgets/Controls.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kStartDelayMs = 200;

// The title while no poll file is named.
QString pollingCaption()
{
    return PollScreen::tr("Polling");
}

} // namespace

// The controls the screen's code reaches, by the object names they are found by.
struct PollScreen::Controls {
    explicit Controls(QDialog *screen);

    QLabel *Label1 = nullptr; // "Off Line"
    QLabel *Label2 = nullptr; // "On Line"
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *La1 = nullptr;
    QListView *List1 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command2 = nullptr;
};

PollScreen::Controls::Controls(QDialog *screen)
{
    screen->setObjectName(QStringLiteral("poll"));
    screen->resize(460, 380);
    screen->setStyleSheet(QStringLiteral("#Label1 { color: #e00000; }\n"
                                         "#Label2 { color: #00a000; }\n"
                                         "#Label3 { color: #0000c0; }\n"
                                         "#Label4 { color: #e00000; }\n") +
                          flatButtonStyle(QStringLiteral("5px 14px")));
    auto *layout = named<QVBoxLayout>("pollLayout", screen);

    // The indicator, then the terminal's state in two lines.
    auto *status = makePanel("Frame3D1", screen, QFrame::Sunken);
    auto *statusRow = named<QHBoxLayout>("statusRow", status);
    // "Off Line" and "On Line" share one cell: at most one of them shows.
    auto *indicatorCell = named<QGridLayout>("indicatorCell", nullptr);
    statusRow->addLayout(indicatorCell);
    QFont indicatorFont(QStringLiteral("Monospace"));
    indicatorFont.setStyleHint(QFont::TypeWriter);
    indicatorFont.setBold(true);
    indicatorFont.setPointSize(14);
    Label1 = named<QLabel>("Label1", status, PollScreen::tr("Off Line"));
    Label2 = named<QLabel>("Label2", status, PollScreen::tr("On Line"));
    for (QLabel *indicator : {Label1, Label2}) {
        indicator->setMinimumSize(110, 0);
        indicator->setFont(indicatorFont);
        indicatorCell->addWidget(indicator, 0, 0);
    }
    auto *messages = named<QVBoxLayout>("messages", nullptr);
    statusRow->addLayout(messages);
    Label3 = named<QLabel>("Label3", status);
    Label4 = named<QLabel>("Label4", status);
    messages->addWidget(Label3);
    messages->addWidget(Label4);
    layout->addWidget(status);

    La1 = named<QLabel>("La1", screen, PollScreen::tr("Records"));
    layout->addWidget(La1);
    List1 = named<QListView>("List1", screen);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->setUniformItemSizes(true);
    layout->addWidget(List1);

    auto *buttonPanel = makePanel("panel3d5", screen);
    auto *buttons = named<QHBoxLayout>("buttons", buttonPanel);
    Command4 = named<QPushButton>("Command4", buttonPanel, PollScreen::tr("Cancella Lista"));
    buttons->addWidget(Command4);
    buttons->addStretch();
    Command2 = named<QPushButton>("Command2", buttonPanel, PollScreen::tr("Uscita"));
    buttons->addWidget(Command2);
    layout->addWidget(buttonPanel);

    screen->setWindowTitle(pollingCaption());
}

PollScreen::PollScreen(ProgramState &state, QWidget *parent, PollStore::Today today)
    : QDialog(parent), m_state(state), m_ui(std::make_unique<Controls>(this)),
      m_store(state.workingDir, std::move(today)),
      m_cycle(state.Comm1, state.port, state.dialogs, m_store, state.pollStopRequested)
{
    // One line per record, from one buffer: adding a record costs the same however many
    // the list already holds.
    m_ui->List1->setModel(&m_records);
    m_store.setTerminalName(QStringLiteral("com%1").arg(state.PortNumber));
    m_timer2.setObjectName(QStringLiteral("Timer2"));
    m_timer2.setSingleShot(true);
    m_lastShown.start();

    m_cycle.setWhileWaiting([this] { keepWindowLive(); });
    connect(&m_cycle, &PollCycle::busyChanged, this,
            [this](bool busy) { setControlsEnabled(!busy); });
    connect(&m_cycle, &PollCycle::onLineChanged, this, &PollScreen::showIndicator);
    connect(&m_cycle, &PollCycle::indicatorCleared, this, [this] {
        m_ui->Label1->hide();
        m_ui->Label2->hide();
    });
    connect(&m_cycle, &PollCycle::communicationError, this,
            [this] { showNoTerminal(tr("Errore di Comunicazione")); });
    connect(&m_cycle, &PollCycle::turnObtainedNothing, this, [this] { showNoTerminal({}); });
    connect(&m_cycle, &PollCycle::statusRead, this, [this](bool hasRecords, const QString &file) {
        m_ui->Label3->setText(tr("Terminale Compatibile"));
        m_ui->Label4->setText(hasRecords ? tr("Presenti dati in memoria")
                                         : tr("Nessun record in memoria"));
        setWindowTitle(tr("Scarico dati su File: %1").arg(file));
    });
    m_cycle.setRecordSink([this](const QByteArray &record) { m_records.add(record); });
    connect(&m_cycle, &PollCycle::transferEnded, this,
            [this](bool stored) { showTransferEnd(stored); });

    connect(m_ui->Command2, &QPushButton::clicked, this, &PollScreen::Command2_Click);
    connect(m_ui->Command4, &QPushButton::clicked, this, &PollScreen::Command4_Click);
    connect(m_ui->List1, &QListView::clicked, this, &PollScreen::List1_Click);
    connect(&m_timer2, &QTimer::timeout, this, &PollScreen::Timer2_Timer);
    Form_Load();
}

PollScreen::~PollScreen() = default;

void PollScreen::Form_Load()
{
    m_state.pollStopRequested = false;
    m_ui->Label1->hide();
    m_ui->Label2->hide();
    m_timer2.setInterval(kStartDelayMs);
    m_timer2.start();
}

void PollScreen::setControlsEnabled(bool enabled)
{
    for (QWidget *w : {static_cast<QWidget *>(m_ui->List1), static_cast<QWidget *>(m_ui->Command2),
                       static_cast<QWidget *>(m_ui->Command4)})
        w->setEnabled(enabled);
}

void PollScreen::Timer2_Timer()
{
    m_timer2.stop();
    runPollingCycle();
}

void PollScreen::runPollingCycle()
{
    m_stateReport.emplace(m_cycle, m_store, QStringLiteral("corvane"));
    // A stop, asked for or forced by a port failure within a turn, closes the screen; a
    // port that fails between turns leaves it open with the cycle stopped.
    const PollCycle::End end = m_cycle.run();
    if (m_cycle.hasPortFailed())
        m_stateReport->portLost();
    if (end == PollCycle::End::StopRequested) {
        m_stateReport->stopped();
        done(QDialog::Accepted);
    }
}

void PollScreen::Command2_Click()
{
    // While the cycle runs it closes the screen at its next check; once it has stopped on a
    // port failure, nothing else would.
    if (m_cycle.isRunning())
        m_state.pollStopRequested = true;
    else
        done(QDialog::Accepted);
}

void PollScreen::reject()
{
    Command2_Click();
}

void PollScreen::keyPressEvent(QKeyEvent *event)
{
    // Esc does not close this screen: only "Uscita" and the frame do.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void PollScreen::Command4_Click()
{
    if (m_records.size() == 0)
        return;
    if (!m_state.dialogs.question(kScreenTitle, tr("Rimuovere i dati presenti nella lista ?")))
        return;
    m_ui->La1->setText(tr("Records"));
    m_records.clear();
}

void PollScreen::List1_Click(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    m_ui->La1->setText(tr("Record N° %1").arg(spacedNumber(index.row() + 1)));
    QCoreApplication::processEvents();
}

void PollScreen::showIndicator(bool onLine)
{
    m_ui->Label2->setVisible(onLine);
    m_ui->Label1->setVisible(!onLine);
}

void PollScreen::showNoTerminal(const QString &state)
{
    m_ui->Label3->setText(state);
    m_ui->Label4->clear();
    setWindowTitle(pollingCaption());
}

void PollScreen::showTransferEnd(bool stored)
{
    m_records.commit();
    m_ui->La1->setText(stored ? tr("%1 Records").arg(spacedNumber(m_records.size()))
                              : tr(kWriteErrorText));
}

void PollScreen::keepWindowLive()
{
    // Showing new rows makes the view lay the whole list out again, which costs more the
    // longer the list: new rows are shown only as often as keeps that work to a twentieth of
    // the time, so a record costs the same however many came before it.
    constexpr int kViewShare = 20;
    QElapsedTimer cost;
    cost.start();
    if (m_lastShown.elapsed() >= kViewShare * m_viewCostMs) {
        m_records.commit();
        m_lastShown.restart();
        m_viewCostMs = 0;
    }
    QCoreApplication::processEvents();
    // The layout may run in this pass or the next: the dearest pass since the last showing
    // is what the next one waits for.
    m_viewCostMs = qMax(m_viewCostMs, cost.elapsed());
}
