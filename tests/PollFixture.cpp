#include "PollFixture.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

PollFixture::PollFixture()
{
    start();
    screen = std::make_unique<PollScreen>(state, window.get(), [] { return kToday; });
}

bool PollFixture::run(const std::function<bool()> &until, int timeoutMs,
                      const std::function<void()> &onTick)
{
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.setInterval(10);
    bool clicked = false;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (onTick)
            onTick();
        if (clicked || !(until() || clock.elapsed() > timeoutMs))
            return;
        auto *uscita = screen->findChild<QPushButton *>("Command2");
        if (uscita->isEnabled()) {
            clicked = true;
            uscita->click();
        }
    });
    tick.start();
    screen->show();
    while (screen->isVisible() && clock.elapsed() < timeoutMs + 5000)
        QTest::qWait(10);
    return !screen->isVisible();
}

QString PollFixture::todaysFile() const
{
    return PollStore::fileName(kToday);
}

QStringList PollFixture::listItems() const
{
    QStringList items;
    const QAbstractItemModel *model = screen->findChild<QListView *>("List1")->model();
    for (int i = 0; i < model->rowCount(); ++i)
        items << model->index(i, 0).data().toString();
    return items;
}

QString PollFixture::text(const char *label) const
{
    return screen->findChild<QLabel *>(label)->text();
}

bool PollFixture::visible(const char *label) const
{
    return screen->findChild<QLabel *>(label)->isVisible();
}

bool PollFixture::enabled(const char *control) const
{
    return screen->findChild<QWidget *>(control)->isEnabled();
}
