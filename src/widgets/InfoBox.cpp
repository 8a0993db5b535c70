#include "InfoBox.h"

#include "widgets/Controls.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A decorative strip of bands in the classic 16-colour palette's blues, drawn at its fixed
// size rather than shipped as a picture.
class Strip : public QWidget {
public:
    Strip(const char *name, int width, int height, QWidget *parent) : QWidget(parent)
    {
        setObjectName(QLatin1String(name));
        setFixedSize(width, height);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        static const QColor kBands[] = {QColor(0x00, 0x00, 0x80), QColor(0x00, 0x00, 0xff),
                                        QColor(0x00, 0x80, 0x80), QColor(0x00, 0xff, 0xff)};
        QPainter p(this);
        const bool horizontal = width() >= height();
        const int length = horizontal ? width() : height();
        for (int i = 0; i < 4; ++i) {
            const int from = length * i / 4, to = length * (i + 1) / 4;
            if (horizontal)
                p.fillRect(from, 0, to - from, height(), kBands[i]);
            else
                p.fillRect(0, from, width(), to - from, kBands[i]);
        }
    }
};

QLabel *makeLabel(const QString &text, const char *name, const char *colour, QWidget *parent)
{
    auto *label = named<QLabel>(name, parent, text);
    label->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(colour)));
    return label;
}

} // namespace

InfoBox::InfoBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("infmem"));
    setWindowTitle(tr("Informazioni"));

    auto *panel = named<QFrame>("Panel3D2", this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    QLabel *name = makeLabel(QStringLiteral("Corvane"), "Label1", "#ff0000", panel);
    QFont big = name->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    name->setFont(big);
    QLabel *version =
        makeLabel(tr("Software per  terminali  V. 3.0 plus"), "Label6", "#000080", panel);
    QLabel *date = makeLabel(QStringLiteral("26-02-2010"), "Label5", "#000080", panel);

    auto *grid = new QGridLayout(panel);
    grid->addWidget(new Strip("Picture3", 13, 213, panel), 0, 0, 5, 1);
    grid->addWidget(name, 0, 1);
    grid->addWidget(new Strip("Picture2", 414, 10, panel), 1, 1);
    grid->addWidget(version, 2, 1);
    grid->addWidget(date, 3, 1);
    grid->setRowStretch(4, 1);

    auto *ok = named<QPushButton>("Command1", this, tr("OK"));
    connect(ok, &QPushButton::clicked, this, &InfoBox::Command1_Click);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(ok, 0, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(1000);
    connect(&m_timer1, &QTimer::timeout, this, &InfoBox::Timer1_Timer);
}

bool InfoBox::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        m_timer1.start();
    return QDialog::event(event);
}

void InfoBox::keyPressEvent(QKeyEvent *event)
{
    // Esc closes; no other key that reaches the box does anything (the focused OK button
    // still takes Enter and Space, as any button does).
    if (event->key() == Qt::Key_Escape)
        Command1_Click();
    event->accept();
}

void InfoBox::Command1_Click()
{
    done(QDialog::Accepted);
}

void InfoBox::Timer1_Timer()
{
    // Kept for its place in the box's life cycle; there is nothing to do on a tick.
}
