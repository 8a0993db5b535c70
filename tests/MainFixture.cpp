#include "MainFixture.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

void MainFixture::start()
{
    window = std::make_unique<MainWindow>(state);
    window->Form_Load();
    window->show();
}

QString MainFixture::enabledControls() const
{
    QStringList on;
    // The menus are disabled through their entries in the menu bar.
    for (const QString &name : kAll.split(QLatin1Char(' '))) {
        const auto *menu = window->findChild<QMenu *>(name);
        if (menu ? menu->menuAction()->isEnabled()
                 : window->findChild<QWidget *>(name)->isEnabled())
            on << name;
    }
    return on.join(QLatin1Char(' '));
}

OnModal::OnModal(std::function<void(QWidget *)> act, std::function<bool()> closeWhen)
    : m_before(QApplication::activeModalWidget())
{
    m_clock.start();
    QObject::connect(&m_poll, &QTimer::timeout, [this, act, closeWhen] {
        if (!m_modal) {
            QWidget *w = QApplication::activeModalWidget();
            if (!w || w == m_before || !opened.isEmpty())
                return;
            m_modal = w;
            opened = w->objectName();
            if (act)
                act(w);
        }
        // Closed after 15 s whatever closeWhen says: the test goes on, and fails on its checks.
        if (m_modal && closeWhen && !closeWhen() && m_clock.elapsed() < 15000)
            return;
        m_poll.stop();
        if (m_modal && m_modal->isVisible())
            m_modal->close();
    });
    m_poll.start(20);
}
