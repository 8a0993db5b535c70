#include "PollScreen.h"
#include "ui_PollScreen.h"

#include "RecordSplitter.h"

#include "link/PortGuard.h"
#include "link/TerminalStatus.h"
#include "state/ProgramState.h"
#include "ui/Dialogs.h"

#include <QKeyEvent>

namespace {

ExchangeStyle pollingStyle()
{
    ExchangeStyle style;
    style.title = QStringLiteral(" Corvane");
    style.pausesProcessEvents = true; // keeps "Uscita" alive while the cycle runs
    style.pauseAfterZeroMs = 200;
    style.reportsFailures = false;
    return style;
}

const QString kPollingCaption = QStringLiteral("Polling");
constexpr int kStartDelayMs = 200;

} // namespace

PollScreen::PollScreen(ProgramState &state, PortGuard &port, QWidget *parent,
                       PollStore::Today today)
    : QDialog(parent), m_state(state), m_port(port), m_ui(std::make_unique<Ui::PollScreen>()),
      m_store(state.workingDir, std::move(today)),
      m_exchange(state.Comm1, state.dialogs, *this, pollingStyle())
{
    m_ui->setupUi(this);
    QFont indicatorFont(QStringLiteral("Monospace"));
    indicatorFont.setStyleHint(QFont::TypeWriter);
    indicatorFont.setBold(true);
    indicatorFont.setPointSize(14);
    m_ui->Label1->setFont(indicatorFont);
    m_ui->Label2->setFont(indicatorFont);
    // One line per record, from one buffer: adding a record costs the same however many
    // the list already holds.
    m_ui->List1->setModel(&m_records);
    m_timer2.setObjectName(QStringLiteral("Timer2"));
    m_timer2.setSingleShot(true);

    m_exchange.setWaitCheck([this] {
        keepWindowLive();
        return portOk() && !(m_stopEndsWaits && m_state.pollStopRequested);
    });
    m_lastEvents.start();
    m_lastShown.start();

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

void PollScreen::lockControls()
{
    setControlsEnabled(false);
}

void PollScreen::unlockControls()
{
    setControlsEnabled(true);
}

void PollScreen::Timer2_Timer()
{
    m_timer2.stop();
    runPollingCycle();
}

void PollScreen::Command2_Click()
{
    // While the cycle runs it closes the screen at its next check; once it has stopped on a
    // port failure, nothing else would.
    if (m_cycleRunning)
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
    if (!m_state.dialogs.question(m_exchange.style().title,
                                  QStringLiteral("Rimuovere i dati presenti nella lista ?")))
        return;
    m_ui->La1->setText(QStringLiteral("Records"));
    m_records.clear();
}

void PollScreen::List1_Click(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    m_ui->La1->setText(QStringLiteral("Record N° ") + spacedNumber(index.row() + 1));
    m_exchange.processEventsOnce();
}

bool PollScreen::portOk()
{
    if (m_portFailed)
        return false;
    if (m_port.checkPortUsable())
        return true;
    m_portFailed = true;
    m_port.reportPortUnavailable();
    m_state.pollStopRequested = true;
    return false;
}

bool PollScreen::flushInput()
{
    if (!portOk())
        return false;
    m_exchange.flushInput();
    return true;
}

void PollScreen::guarded(const std::function<void()> &step)
{
    try {
        step();
    } catch (const SerialError &) {
        // The port failed between two checks: the check now tells the operator and stops
        // the cycle; a failure that does not last only costs this turn.
        portOk();
        unlockControls();
    }
}

void PollScreen::showIndicator(bool onLine)
{
    m_ui->Label2->setVisible(onLine);
    m_ui->Label1->setVisible(!onLine);
}

void PollScreen::runPollingCycle()
{
    m_cycleRunning = true;
    for (;;) {
        Outcome outcome = NothingObtained;
        guarded([&] {
            flushInput();
            outcome = pollOnce();
        });
        if (m_state.pollStopRequested) {
            unlockControls();
            m_cycleRunning = false;
            done(QDialog::Accepted);
            return;
        }
        guarded([&] { flushInput(); });
        if (outcome == NothingObtained) {
            m_ui->Label3->clear();
            m_ui->Label4->clear();
            setWindowTitle(kPollingCaption);
            if (!portOk()) {
                m_cycleRunning = false;
                return;
            }
            guarded([&] { m_exchange.link().output(" "); });
        }
        guarded([&] { flushInput(); });
        m_exchange.processEventsOnce();
        m_exchange.pauseMs(500);
        m_ui->Label1->hide();
        m_ui->Label2->hide();
        m_exchange.processEventsOnce();
        m_exchange.pauseMs(500);
    }
}

PollScreen::Outcome PollScreen::pollOnce()
{
    if (!portOk())
        return NothingObtained;
    SerialLink &link = m_exchange.link();
    m_exchange.flushInput();
    link.output(" ");
    m_exchange.pauseMs(100);
    link.output("0");
    m_exchange.pauseMs(100);

    const Exchange::Wait w = m_exchange.waitForCharacter();
    if (w == Exchange::Wait::Abandoned)
        return NothingObtained;
    if (w == Exchange::Wait::TimedOut) {
        showIndicator(false);
        m_exchange.processEventsOnce();
        unlockControls();
        return NothingObtained;
    }
    if (m_exchange.readCharacter() != terminal::kAck) {
        m_ui->Label3->setText(QStringLiteral("Errore di Comunicazione"));
        m_ui->Label4->clear();
        setWindowTitle(kPollingCaption);
        flushInput();
        unlockControls();
        return NothingObtained;
    }

    if (!portOk())
        return NothingObtained;
    m_exchange.sendCommand('?', 0);
    showIndicator(true);
    m_exchange.processEventsOnce();
    if (m_state.pollStopRequested)
        return NothingObtained;

    double memoryFigure = 0;
    Outcome outcome = readStatusReply(memoryFigure);
    if (outcome == NothingObtained || memoryFigure == TerminalStatus::kEmptyMemoryFigure) {
        flushInput();
        unlockControls();
        return outcome;
    }
    if (m_state.pollStopRequested)
        return outcome;

    outcome = fetchRecords();
    if (m_state.pollStopRequested)
        return outcome;
    if (outcome == NothingObtained)
        flushInput();
    // The terminal forgets its records only when every one of them is safely on disk.
    if (outcome == Transferred && m_transferStored && m_transferComplete)
        clearAfterFetch();
    unlockControls();
    return outcome;
}

PollScreen::Outcome PollScreen::readStatusReply(double &memoryFigure)
{
    memoryFigure = 0;
    TerminalStatus status;
    const Exchange::Wait w = m_exchange.readReplyLine(status.line);
    if (w == Exchange::Wait::Abandoned)
        return NothingObtained;
    if (w == Exchange::Wait::TimedOut) {
        showIndicator(false);
        m_exchange.processEventsOnce();
        return NothingObtained;
    }
    memoryFigure = status.memoryFigure();
    m_ui->Label3->setText(QStringLiteral("Terminale Compatibile"));
    m_ui->Label4->setText(memoryFigure == TerminalStatus::kEmptyMemoryFigure
                              ? QStringLiteral("Nessun record in memoria")
                              : QStringLiteral("Presenti dati in memoria"));
    setWindowTitle(QStringLiteral("Scarico dati su File: ") + m_store.todaysFileName());
    m_exchange.processEventsOnce();
    return Answered;
}

bool PollScreen::wakeTerminal()
{
    return m_exchange.wakeTerminal();
}

PollScreen::Outcome PollScreen::fetchRecords()
{
    flushInput();
    m_exchange.pauseMs(500);
    if (!wakeTerminal()) {
        unlockControls();
        flushInput();
        return NothingObtained;
    }
    if (!portOk())
        return Answered;
    m_exchange.sendCommand('7', 100);

    // Only "Uscita" (or a port failure) may cut these waits short.
    m_stopEndsWaits = true;
    struct Restore {
        bool &flag;
        ~Restore() { flag = false; }
    } restore{m_stopEndsWaits};

    Exchange::Wait w = m_exchange.waitForCharacter();
    if (w == Exchange::Wait::Abandoned)
        return Answered;
    if (w == Exchange::Wait::TimedOut) {
        unlockControls();
        flushInput();
        return NothingObtained;
    }
    m_exchange.readCharacter(); // a leading character that carries no data
    lockControls();

    m_transferStored = true;
    m_transferComplete = false;
    QByteArray line;
    const Exchange::Wait end = receiveRecords(line);
    // Bytes after the last CR are a record all the same (with the TAB terminator they are
    // the whole transfer): stored like the others, before anything is cleared. A transfer
    // broken off keeps no torn record: the terminal sends it whole next time.
    if (!line.isEmpty() && end != Exchange::Wait::Abandoned)
        storePolledRecord(line);
    m_records.commit();
    // One sync for the whole transfer; the clear waits for it.
    if (!m_store.commit())
        m_transferStored = false;
    if (end == Exchange::Wait::Abandoned)
        return Answered;
    m_transferComplete = end == Exchange::Wait::TimedOut;

    unlockControls();
    flushInput();
    m_ui->La1->setText(m_transferStored
                           ? spacedNumber(m_records.size()) + QStringLiteral(" Records")
                           : QString::fromLatin1(kWriteErrorText));
    m_exchange.processEventsOnce();
    return Transferred;
}

Exchange::Wait PollScreen::receiveRecords(QByteArray &line)
{
    SerialLink &link = m_exchange.link();
    RecordSplitter splitter;
    const auto store = [this](const QByteArray &record) { storePolledRecord(record); };
    for (qint64 received = 0;;) {
        const Exchange::Wait w = m_exchange.waitForCharacter();
        if (w != Exchange::Wait::Arrived) {
            line = splitter.fragment();
            return w;
        }
        // Everything waiting at once: one read per burst rather than one per character.
        link.setInputLen(0);
        const QByteArray burst = link.input();
        // A terminal that never falls silent: keep what came up to the limit, leave its
        // memory alone.
        const qint64 room = m_transferLimit - received;
        splitter.feed(QByteArrayView(burst).first(qMin<qint64>(burst.size(), room)), store);
        received += burst.size();
        if (received >= m_transferLimit) {
            line = splitter.fragment();
            return Exchange::Wait::Arrived;
        }
        keepWindowLive();
    }
}

void PollScreen::keepWindowLive()
{
    constexpr int kEventIntervalMs = 40;
    // Showing new rows makes the view lay the whole list out again, which costs more the
    // longer the list: new rows are shown only as often as keeps that work to a twentieth of
    // the time, so a record costs the same however many came before it.
    constexpr int kViewShare = 20;
    if (m_lastEvents.elapsed() < kEventIntervalMs)
        return;
    QElapsedTimer cost;
    cost.start();
    if (m_lastShown.elapsed() >= kViewShare * m_viewCostMs) {
        m_records.commit();
        m_lastShown.restart();
        m_viewCostMs = 0;
    }
    m_exchange.processEventsOnce();
    // The layout may run in this pass or the next: the dearest pass since the last showing
    // is what the next one waits for.
    m_viewCostMs = qMax(m_viewCostMs, cost.elapsed());
    m_lastEvents.restart();
}

void PollScreen::clearAfterFetch()
{
    m_exchange.pauseMs(1000);
    if (!wakeTerminal()) {
        unlockControls();
        return;
    }
    if (!flushInput() || !portOk())
        return;
    m_exchange.sendCommand('6', 0);
    flushInput();
    unlockControls();
}

void PollScreen::storePolledRecord(const QByteArray &line)
{
    if (!m_store.append(line))
        m_transferStored = false;
    m_records.add(line);
}
