#pragma once

#include "MainFixture.h"
#include "widgets/ProgrammingScreen.h"

#include <QCheckBox>
#include <QPushButton>

// The main window on the simulated terminal, with the programming screen opened over it on
// the status line the terminal reports now.
struct ProgFixture : MainFixture {
    std::unique_ptr<ProgrammingScreen> screen;

    explicit ProgFixture(const QByteArray &parameters = sim::TerminalSim::defaultParameters())
    {
        terminal.setParameters(parameters);
        start();
        state.ConfigString = terminal.statusLine();
        screen = std::make_unique<ProgrammingScreen>(state, window.get());
        screen->show();
    }

    void click(const char *button) { screen->findChild<QPushButton *>(button)->click(); }

    // The names of the set indicators, sorted: "Check1 Check10 ...".
    QString setIndicators() const
    {
        QStringList on;
        for (const QCheckBox *c : screen->findChildren<QCheckBox *>())
            if (c->isChecked())
                on << c->objectName();
        on.sort();
        return on.join(QLatin1Char(' '));
    }

    // Whether the frames and buttons that an exchange locks are all enabled.
    bool unlocked() const
    {
        for (const char *name :
             {"Frame1", "Frame3d3", "Frame3", "Command3", "Command20", "Command3d16"})
            if (!screen->findChild<QWidget *>(name)->isEnabled())
                return false;
        return true;
    }
};
