#include "ClockScreen.h"

#include "core/link/PortGuard.h"
#include "core/state/Dialogs.h"
#include "core/state/ProgramState.h"
#include "widgets/Controls.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>

namespace {

constexpr int kLimit[] = {31, 12, 23, 59};
const char *const kBoxNames[] = {"Text1", "Text2", "Text3", "Text4"};
const char *const kBoxAccessibleNames[] = {
    QT_TRANSLATE_NOOP("ClockScreen", "Giorno"), QT_TRANSLATE_NOOP("ClockScreen", "Mese"),
    QT_TRANSLATE_NOOP("ClockScreen", "Ore"), QT_TRANSLATE_NOOP("ClockScreen", "Minuti")};

int valueOf(const QLineEdit *box)
{
    return box->text().toInt();
}

} // namespace

ClockScreen::ClockScreen(ProgramState &state, const ClockTexts &terminalClock, QWidget *parent,
                         Now now)
    : QDialog(parent), m_state(state), m_now(std::move(now)),
      m_exchange(state.Comm1, state.dialogs, *this, ExchangeStyle::overMainWindow())
{
    setObjectName(QStringLiteral("setdat"));
    setWindowTitle(tr("Data/Ora"));

    auto *grid = new QGridLayout(this);
    QGroupBox *dateFrame = named<QGroupBox>("panel3d5", this, tr("  GG     MM "));
    QGroupBox *timeFrame = named<QGroupBox>("panel3d2", this, tr("  Ore     Min "));
    QGroupBox *pcFrame = named<QGroupBox>("Panel3d1", this, tr("Sistema", "frame: the PC's clock"));
    QGroupBox *buttons = named<QGroupBox>("panel3d3", this, QString());
    grid->addWidget(dateFrame, 0, 0);
    grid->addWidget(timeFrame, 0, 1);
    grid->addWidget(pcFrame, 0, 2);
    grid->addWidget(buttons, 1, 0, 1, 3);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    const auto digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (int b = Day; b < BoxCount; ++b) {
        auto *box = named<QLineEdit>(kBoxNames[b], b < Hours ? dateFrame : timeFrame);
        box->setAccessibleName(tr(kBoxAccessibleNames[b]));
        box->setMaxLength(2);
        // Two digits and a little room, whatever the font.
        box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
        box->setValidator(digits);
        box->installEventFilter(this);
        connect(box, &QLineEdit::textChanged, this, [this, b] { Text_Change(Box(b)); });
        m_boxes[b] = box;
    }
    auto *dateRow = new QHBoxLayout(dateFrame);
    dateRow->addWidget(m_boxes[Day]);
    dateRow->addWidget(m_boxes[Month]);
    auto *timeRow = new QHBoxLayout(timeFrame);
    timeRow->addWidget(m_boxes[Hours]);
    timeRow->addWidget(m_boxes[Minutes]);

    m_pcClock = named<QLabel>("Label4", pcFrame);
    (new QHBoxLayout(pcFrame))->addWidget(m_pcClock);

    QPushButton *send = named<QPushButton>("Command3d1", buttons, tr("Invia"));
    QPushButton *fromPc =
        named<QPushButton>("sistema", buttons, tr("Sistema", "button: send the PC's clock"));
    QPushButton *exit = named<QPushButton>("Command3d3", buttons, tr("uscita"));
    m_buttons = {send, fromPc, exit};
    auto *buttonRow = new QHBoxLayout(buttons);
    for (QPushButton *b : std::as_const(m_buttons))
        buttonRow->addWidget(b);
    connect(send, &QPushButton::clicked, this, &ClockScreen::Command3d1_Click);
    connect(fromPc, &QPushButton::clicked, this, &ClockScreen::sistema_Click);
    connect(exit, &QPushButton::clicked, this, &ClockScreen::Command3d3_Click);

    setTabOrder(send, fromPc);
    setTabOrder(fromPc, exit);
    setTabOrder(exit, m_boxes[Day]);
    setTabOrder(m_boxes[Day], m_boxes[Month]);
    setTabOrder(m_boxes[Month], m_boxes[Minutes]);
    setTabOrder(m_boxes[Minutes], m_boxes[Hours]);
    send->setFocus();

    Form_Load(terminalClock);
}

ClockScreen::~ClockScreen() = default;

void ClockScreen::Form_Load(const ClockTexts &terminalClock)
{
    showPcClock(m_now());
    const ClockFields fields = clockFields(terminalClock);
    for (int b = Day; b < BoxCount; ++b)
        m_boxes[b]->setText(fields[b]);
}

void ClockScreen::showPcClock(const QDateTime &at)
{
    m_pcClock->setText(at.toString(QStringLiteral("dd-MM HH:mm")));
}

void ClockScreen::Text_Change(Box box)
{
    if (valueOf(m_boxes[box]) > kLimit[box])
        m_boxes[box]->clear();
}

bool ClockScreen::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QLineEdit *>(watched);
    if (!box)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) {
        // After the line edit's own focus handling, which may place the cursor.
        QTimer::singleShot(0, box, &QLineEdit::selectAll);
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Day, month, hours, minutes; Enter in the minutes sends.
            const auto index = std::find(m_boxes.begin(), m_boxes.end(), box) - m_boxes.begin();
            if (index == Minutes)
                Command3d1_Click();
            else
                m_boxes[index + 1]->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool ClockScreen::refuse(Box box, bool empty)
{
    if (empty)
        m_boxes[box]->clear();
    m_boxes[box]->setFocus(Qt::OtherFocusReason);
    return false;
}

bool ClockScreen::checkDayOfMonth()
{
    const int day = valueOf(m_boxes[Day]);
    switch (valueOf(m_boxes[Month])) {
    case 2:
        return day <= 29 || refuse(Day, true);
    case 4:
    case 6:
    case 9:
    case 11:
        return day <= 30 || refuse(Day, true);
    default:
        return true;
    }
}

void ClockScreen::setBusy(bool busy)
{
    m_busy = busy;
    if (busy)
        m_focusBeforeBusy = QApplication::focusWidget();
    // Disabling the focused button moves the focus on; it comes back when the exchange ends.
    for (QPushButton *b : std::as_const(m_buttons))
        b->setEnabled(!busy);
    if (!busy && m_focusBeforeBusy && isVisible())
        m_focusBeforeBusy->setFocus(Qt::OtherFocusReason);
}

void ClockScreen::Command3d1_Click()
{
    if (m_busy || !m_state.port.ensurePortUsable())
        return;
    if (const std::optional<TerminalClock> clock = clockFromBoxes())
        sendClock(*clock);
}

std::optional<TerminalClock> ClockScreen::clockFromBoxes()
{
    for (int b = Day; b < BoxCount; ++b) {
        if (m_boxes[b]->text().isEmpty()) {
            refuse(Box(b), false);
            return std::nullopt;
        }
    }
    // Minutes 00 are a real time: only the day and the month cannot be zero.
    for (Box b : {Day, Month}) {
        if (valueOf(m_boxes[b]) == 0) {
            refuse(b, true);
            return std::nullopt;
        }
    }
    if (m_boxes[Hours]->text().size() < 2) {
        refuse(Hours, false);
        return std::nullopt;
    }
    for (Box b : {Day, Month, Minutes}) {
        if (m_boxes[b]->text().size() == 1)
            m_boxes[b]->setText(QLatin1Char('0') + m_boxes[b]->text());
    }
    if (!checkDayOfMonth())
        return std::nullopt;
    TerminalClock clock;
    for (int b = Day; b < BoxCount; ++b)
        clock[b] = encodeClockField(m_boxes[b]->text());
    return clock;
}

void ClockScreen::sendClock(const TerminalClock &clock)
{
    bool sent = false;
    setBusy(true);
    m_state.port.runGuarded(*this, PortGuard::Midway::FailureMessage, [&] {
        sent = m_exchange.sendSetting([&] { sendClockFrame(m_exchange, clock); });
    });
    setBusy(false);
    if (!sent)
        return;
    m_sent = {m_boxes[Day]->text() + QLatin1Char('-') + m_boxes[Month]->text(),
              m_boxes[Hours]->text() + QLatin1Char(':') + m_boxes[Minutes]->text()};
    done(QDialog::Accepted);
}

void ClockScreen::sistema_Click()
{
    if (m_busy || !m_state.port.ensurePortUsable())
        return;
    const QDateTime now = m_now();
    showPcClock(now);
    const QStringList fields = now.toString(QStringLiteral("dd MM HH mm")).split(QLatin1Char(' '));
    for (int b = Day; b < BoxCount; ++b)
        m_boxes[b]->setText(fields[b]);
    Command3d1_Click();
}

void ClockScreen::Command3d3_Click()
{
    if (!m_busy)
        done(QDialog::Rejected);
}

void ClockScreen::reject()
{
    Command3d3_Click();
}
