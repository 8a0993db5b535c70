#include "MainWindow.h"

#include "core/link/PortChoice.h"
#include "core/link/PortGuard.h"
#include "core/link/TerminalMemory.h"
#include "core/link/TerminalStatus.h"
#include "core/state/Dialogs.h"
#include "core/state/DisplayText.h"
#include "core/state/ProgramState.h"
#include "widgets/Controls.h"
#include "widgets/InfoBox.h"
#include "widgets/PollScreen.h"
#include "widgets/ProgrammingScreen.h"
#include "widgets/ViewerScreen.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kPortCount = 16;

} // namespace

// The controls the window's code reaches, by the object names they are found by.
// Each button is connected to its handler as it is made.
struct MainWindow::Controls {
    explicit Controls(MainWindow *window);

    QLabel *CC = nullptr;
    QLabel *Label3 = nullptr;
    QComboBox *Combo1 = nullptr;
    QPushButton *Command3 = nullptr; // "Uscita", which stays usable when the port is not
    // Every button, in the order they are locked.
    QList<QPushButton *> commands;
};

MainWindow::Controls::Controls(MainWindow *window)
{
    window->setObjectName(QStringLiteral("Scarico"));
    window->resize(420, 330);
    auto *central = named<QWidget>("centralwidget", window);
    central->setStyleSheet(
        QStringLiteral("#Label3, #CC { color: #00e000; background-color: black; font-weight: bold; "
                       "padding: 2px; }\n") +
        flatButtonStyle(QStringLiteral("4px")));
    auto *mainLayout = named<QVBoxLayout>("mainLayout", central);

    // The record count at the right, and under it the message shown while counting.
    auto *panel = makePanel("Panel3D2", central, QFrame::Sunken);
    auto *panelLayout = named<QVBoxLayout>("panelLayout", panel);
    auto *recordsRow = named<QHBoxLayout>("recordsRow", nullptr);
    panelLayout->addLayout(recordsRow);
    recordsRow->addStretch();
    auto *recordsFrame = named<QGroupBox>("Frame2", panel, MainWindow::tr("Records"));
    auto *recordsFrameLayout = named<QVBoxLayout>("frame2Layout", recordsFrame);
    CC = named<QLabel>("CC", recordsFrame);
    CC->setMinimumSize(120, 0);
    CC->setAlignment(Qt::AlignCenter);
    recordsFrameLayout->addWidget(CC);
    recordsRow->addWidget(recordsFrame);
    Label3 = named<QLabel>("Label3", panel);
    Label3->setAlignment(Qt::AlignCenter);
    panelLayout->addWidget(Label3);
    mainLayout->addWidget(panel);

    // The port frame and the buttons form a grid of equal cells, filled column by column.
    auto *grid = named<QGridLayout>("buttonGrid", nullptr);
    mainLayout->addLayout(grid);
    auto *portFrame = named<QGroupBox>("Frame1", central, MainWindow::tr("Porta"));
    auto *portFrameLayout = named<QVBoxLayout>("frame1Layout", portFrame);
    Combo1 = named<QComboBox>("Combo1", portFrame);
    portFrameLayout->addWidget(Combo1);
    portFrame->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    grid->addWidget(portFrame, 0, 0);
    const auto button = [&](const char *name, const QString &caption, int row, int column,
                            void (MainWindow::*handler)()) {
        auto *b = named<QPushButton>(name, central, caption);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        grid->addWidget(b, row, column);
        QObject::connect(b, &QPushButton::clicked, window, handler);
        return b;
    };
    // Made column by column, which is also the order the keyboard walks them in.
    auto *command2 =
        button("Command2", MainWindow::tr("Cancella Memoria"), 1, 0, &MainWindow::Command2_Click);
    auto *command10 =
        button("Command10", MainWindow::tr("Polling"), 2, 0, &MainWindow::Command10_Click);
    auto *command7 =
        button("Command7", MainWindow::tr("Record in Memoria"), 3, 0, &MainWindow::Command7_Click);
    auto *command5 =
        button("Command5", MainWindow::tr("Versione Firmware"), 0, 1, &MainWindow::Command5_Click);
    auto *command8 =
        button("Command8", MainWindow::tr("Preferenze"), 1, 1, &MainWindow::Command8_Click);
    auto *command6 =
        button("Command6", MainWindow::tr("Visualizza dati"), 2, 1, &MainWindow::Command6_Click);
    Command3 = button("Command3", MainWindow::tr("Uscita"), 3, 1, &MainWindow::Command3_Click);
    commands = {command2, Command3, command5, command6, command7, command8, command10};

    window->setCentralWidget(central);
    window->setMenuBar(named<QMenuBar>("menubar", window));
    window->setWindowTitle(kMainTitle);

    // Each row at least as tall as the port frame, so the buttons match it; measured once the
    // frame sits in the styled window.
    const int cellHeight = portFrame->sizeHint().height();
    for (int row = 0; row < 4; ++row) {
        grid->setRowStretch(row, 1);
        grid->setRowMinimumHeight(row, cellHeight);
    }
}

MainWindow::MainWindow(ProgramState &state, QWidget *parent)
    : QMainWindow(parent), m_state(state), m_ui(std::make_unique<Controls>(this)),
      m_exchange(state.Comm1, state.dialogs, *this)
{
    connect(&state.port, &PortGuard::portUnavailable, this, &MainWindow::showPortUnavailable);
    buildMenus();

    // A pick runs the handler even when the entry is already selected: that reopens the port.
    connect(m_ui->Combo1, &QComboBox::activated, this, &MainWindow::Combo1_Click);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus()
{
    // Each entry with the separator that follows it, if any; the names are the object names
    // outside tools find the entries by.
    struct Entry {
        const char *name;
        QString caption;
        void (MainWindow::*handler)();
        const char *separatorAfter;
    };
    const auto menu = [this](const char *name, const QString &title,
                             std::initializer_list<Entry> entries) {
        QMenu *m = menuBar()->addMenu(title);
        m->setObjectName(QLatin1String(name));
        for (const Entry &e : entries) {
            QAction *a = m->addAction(e.caption);
            a->setObjectName(QLatin1String(e.name));
            connect(a, &QAction::triggered, this, e.handler);
            if (e.separatorAfter)
                m->addSeparator()->setObjectName(QLatin1String(e.separatorAfter));
        }
        return m;
    };
    m_fil = menu("fil", tr("   &File   "),
                 {{"came", tr("Cancella &Memoria"), &MainWindow::Command2_Click, "lai"},
                  {"pol", tr("&Polling"), &MainWindow::Command10_Click, "zic"},
                  {"vere", tr("&Numero Records"), &MainWindow::Command7_Click, "lai1"},
                  {"vefi", tr("&Versione Firmware"), &MainWindow::Command5_Click, "lai2"},
                  {"progr", tr("P&rogrammazione"), &MainWindow::Command8_Click, "sepio"},
                  {"vida", tr("Visualizza &Dati"), &MainWindow::Command6_Click, "zai"},
                  {"exi", tr("&Uscita"), &MainWindow::Command3_Click, nullptr}});
    m_hlp = menu("hlp", QStringLiteral("   &?   "),
                 {{"info", tr("&Informazioni"), &MainWindow::info_Click, "lai6"},
                  {"setta", tr("&Settaggi"), &MainWindow::setta_Click, nullptr}});
}

void MainWindow::Form_Load()
{
    m_ui->Label3->hide();

    for (int i = 1; i <= kPortCount; ++i)
        m_ui->Combo1->addItem(QStringLiteral("Com-%1").arg(i));
    m_ui->Combo1->setCurrentIndex(-1);
    m_state.PortNumber =
        static_cast<qint16>(portchoice::load(m_state.workingDir, m_state.PortNumber));

    m_state.startup = loadStartupSettings(m_state.workingDir);

    if (m_state.PortNumber >= 1 && m_state.PortNumber <= kPortCount) {
        m_ui->Combo1->setCurrentIndex(m_state.PortNumber - 1);
        Combo1_Click();
    }
}

void MainWindow::setCommandsEnabled(bool enabled, bool includingExit)
{
    for (QPushButton *b : std::as_const(m_ui->commands)) {
        if (b != m_ui->Command3 || includingExit)
            b->setEnabled(enabled);
    }
    m_fil->menuAction()->setEnabled(enabled);
    m_hlp->menuAction()->setEnabled(enabled);
}

void MainWindow::lockControls()
{
    setCommandsEnabled(false, true);
}

void MainWindow::unlockControls()
{
    setCommandsEnabled(true, true);
}

void MainWindow::showPortUnavailable()
{
    setWindowTitle(QStringLiteral("PDT"));
    // Exit and the port list stay usable: the operator can pick another port or leave.
    setCommandsEnabled(false, false);
}

void MainWindow::Combo1_Click()
{
    const int index = m_ui->Combo1->currentIndex();
    if (index < 0)
        return;
    // Remembered before opening, so the next start tries this port even if it fails now.
    portchoice::write(m_state.workingDir, index + 1);
    m_state.PortNumber = static_cast<qint16>(index + 1);
    openPort();
}

void MainWindow::openPort()
{
    // One attempt: opening fails only for a missing device or one another program holds, and
    // trying again at once changes neither.
    SerialLink &link = m_state.Comm1;
    try {
        if (link.portOpen())
            link.setPortOpen(false);
        link.setInBufferSize(terminal::kInBufferSize);
        link.setSettings(terminal::kLineSettings);
        link.setCommPort(m_state.PortNumber);
        link.setPortOpen(true);
        setWindowTitle(QStringLiteral("  PDT --> COM") + spacedNumber(m_state.PortNumber));
        unlockControls();
    } catch (const SerialError &e) {
        m_state.port.reportPortUnavailable();
        QString text = e.code() == LinkError::InvalidPort ? tr("Porta COM non disponibile")
                                                          : terminal::portErrorText();
        // Held by another program: say which, and how to free the port.
        if (const auto &holder = link.holder())
            text += QStringLiteral("\r\n") + holder->operatorLine();
        m_state.dialogs.critical(kMainTitle, text);
    }
}

void MainWindow::runTerminalCommand(const std::function<void()> &body)
{
    if (m_state.port.ensurePortUsable())
        m_state.port.runGuarded(*this, PortGuard::Midway::PortError, body);
}

Exchange::Presence MainWindow::queryStatus()
{
    // The main window's presence check does not beep when the line stops short.
    return m_exchange.queryStatus(false);
}

void MainWindow::Command2_Click()
{
    runTerminalCommand([this] { clearMemory(); });
}

void MainWindow::clearMemory()
{
    lockControls();
    if (queryStatus() == Exchange::Presence::WakeFailed) {
        unlockControls();
        return;
    }
    if (!m_state.dialogs.question(kMainTitle, tr("Cancellare il contenuto della memoria ?"))) {
        unlockControls();
        return;
    }
    m_exchange.processEventsOnce();
    lockControls();
    if (TerminalMemory(m_exchange).clearMemory()) {
        m_ui->CC->setText(QString());
        m_state.dialogs.critical(kMainTitle, tr("Memoria Cancellata"));
    }
    unlockControls();
}

void MainWindow::Command7_Click()
{
    runTerminalCommand([this] { countRecords(); });
}

void MainWindow::countRecords()
{
    if (queryStatus() == Exchange::Presence::WakeFailed) {
        unlockControls();
        return;
    }
    m_ui->CC->setText(QString());
    const auto shown = [this](qint64 records) {
        if (records == 0) {
            m_ui->Label3->setText(tr("Conteggio Records Attendere !"));
            m_ui->Label3->show();
        }
        m_ui->CC->setText(QString::number(records));
        m_exchange.processEventsOnce();
    };
    const TerminalMemory::CountResult count = TerminalMemory(m_exchange).countRecords(shown);
    switch (count.outcome) {
    case TerminalMemory::Count::WakeFailed:
        break;
    case TerminalMemory::Count::Empty:
        m_state.dialogs.critical(kMainTitle, tr("Memoria Vuota"));
        break;
    case TerminalMemory::Count::Counted:
        m_state.dialogs.beep();
        m_state.dialogs.beep();
        m_ui->Label3->hide();
        m_state.dialogs.information(kMainTitle,
                                    tr("%1 Records Presenti in Memoria !").arg(count.records));
        m_ui->CC->setText(QString());
        break;
    }
    unlockControls();
}

void MainWindow::runOnStatusLine(void (MainWindow::*operation)(const QByteArray &statusLine))
{
    runTerminalCommand([this, operation] {
        lockControls();
        QByteArray line;
        switch (m_exchange.requestStatus(line)) {
        case Exchange::StatusReply::WakeFailed:
            unlockControls();
            return;
        case Exchange::StatusReply::Stopped:
            m_exchange.reportNoAnswer();
            return;
        case Exchange::StatusReply::Line:
            break;
        }
        (this->*operation)(line);
        unlockControls();
    });
}

void MainWindow::Command5_Click()
{
    runOnStatusLine(&MainWindow::showFirmwareVersion);
}

void MainWindow::showFirmwareVersion(const QByteArray &statusLine)
{
    m_exchange.processEventsOnce();
    m_state.dialogs.information(kMainTitle, TerminalStatus{statusLine}.firmwareText());
}

void MainWindow::Command8_Click()
{
    runOnStatusLine(&MainWindow::openProgramming);
}

void MainWindow::openProgramming(const QByteArray &statusLine)
{
    m_state.ConfigString = statusLine;
    ProgrammingScreen screen(m_state, this);
    screen.exec();
}

void MainWindow::Command10_Click()
{
    if (!m_state.port.ensurePortUsable())
        return;
    PollScreen screen(m_state, this);
    screen.exec();
    m_state.pollStopRequested = false;
}

void MainWindow::Command6_Click()
{
    ViewerScreen screen(m_state.workingDir, m_state.dialogs, this);
    screen.exec();
}

void MainWindow::info_Click()
{
    InfoBox box(this);
    box.exec();
}

void MainWindow::Command3_Click()
{
    leaveProgram();
}

void MainWindow::leaveProgram()
{
    if (!m_state.dialogs.question(kMainTitle, tr("Uscire da Corvane ?")))
        return;
    try {
        m_state.Comm1.setPortOpen(false);
    } catch (const SerialError &) {
        // Leaving anyway.
    }
    emit exitConfirmed();
}

void MainWindow::setta_Click()
{
    m_state.dialogs.information(kMainTitle, tr("Il programma SCARICA lo scanner (Terminale)\r\n"
                                               "settato con terminatore record CR o CR+LF\r\n"
                                               "\r\n"
                                               "Non si otterra un file con formato corretto\r\n"
                                               "usando il terminatore (TAB)\r\n"
                                               "\r\n"));
}
