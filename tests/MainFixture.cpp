#include "MainFixture.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QPushButton>

void MainFixture::start()
{
    window = std::make_unique<MainWindow>(state);
    window->Form_Load();
    window->show();
}

QString MainFixture::enabledControls() const
{
    QStringList on;
    for (const char *name :
         {"Command2", "Command3", "Command5", "Command6", "Command7", "Command8", "Command10"}) {
        if (child<QPushButton>(name)->isEnabled())
            on << QLatin1String(name);
    }
    for (const char *name : {"fil", "hlp"}) {
        if (child<QMenu>(name)->menuAction()->isEnabled())
            on << QLatin1String(name);
    }
    if (child<QComboBox>("Combo1")->isEnabled())
        on << QStringLiteral("Combo1");
    return on.join(QLatin1Char(' '));
}
