#pragma once

#include "MainFixture.h"
#include "polling/PollScreen.h"

#include <QByteArray>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStringList>

#include <functional>

// The main window started on the simulated terminal, with a polling screen over it whose
// store takes the day as kToday, whatever the wall clock says.
struct PollFixture : MainFixture {
    static inline const QDate kToday{2026, 12, 6};
    std::unique_ptr<PollScreen> screen;

    PollFixture();
    // Shows the screen and lets its cycle run; every 10 ms (from inside the cycle's pauses
    // and event steps) onTick runs, and once until() holds "Uscita" is clicked as soon as it is
    // enabled. Returns when the screen has closed or timeoutMs has passed; true if closed.
    bool run(const std::function<bool()> &until, int timeoutMs,
             const std::function<void()> &onTick = {});

    QString todaysFile() const;
    QStringList listItems() const;
    QString text(const char *label) const;
    bool visible(const char *label) const;
    bool enabled(const char *control) const;
};
