#include "PollFixture.h"

#include <QDeadlineTimer>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTimer>

CycleFixture::CycleFixture()
{
    openLink(); // a failure shows as a port failure of the cycle
    const auto note = [this](const QString &event) {
        if (!events.contains(event))
            events << event;
    };
    QObject::connect(&cycle, &PollCycle::onLineChanged, [=](bool on) { note(on ? "on" : "off"); });
    QObject::connect(&cycle, &PollCycle::statusRead, [=](bool hasRecords, const QString &file) {
        note(hasRecords ? "records in " + file : "empty");
    });
    QObject::connect(&cycle, &PollCycle::transferEnded, [=](bool stored, qsizetype n) {
        note((stored ? "stored " : "unstored ") + QString::number(n));
    });
}

bool CycleFixture::run(const std::function<bool()> &until, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    bool held = false;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { stop = (held = held || until()) || deadline.hasExpired(); });
    tick.start(10);
    cycle.run();
    return held;
}

PollFixture::PollFixture()
{
    start();
    screen = std::make_unique<PollScreen>(state, window.get(), [] { return kToday; });
}

bool PollFixture::run(const std::function<bool()> &until, int timeoutMs,
                      const std::function<void()> &onTick)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTimer tick;
    bool clicked = false;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (onTick)
            onTick();
        for (const char *light : {"Label1", "Label2"})
            if (screen->findChild<QLabel *>(light)->isVisible() && !lights.contains(light))
                lights += light;
        auto *uscita = screen->findChild<QPushButton *>("Command2");
        if (!clicked && (until() || deadline.hasExpired()) && uscita->isEnabled()) {
            clicked = true;
            uscita->click();
        }
    });
    tick.start(10);
    screen->show();
    return QTest::qWaitFor([&] { return !screen->isVisible(); }, timeoutMs + 5000);
}

QStringList PollFixture::listItems() const
{
    QStringList items;
    const QAbstractItemModel *model = screen->findChild<QListView *>("List1")->model();
    for (int i = 0; i < model->rowCount(); ++i)
        items << model->index(i, 0).data().toString();
    return items;
}
