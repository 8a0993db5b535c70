#pragma once

#include "MainFixture.h"
#include "SimFixture.h"
#include "core/link/PortGuard.h"
#include "core/polling/PollCycle.h"
#include "widgets/PollScreen.h"

#include <QLabel>
#include <QStringList>

#include <functional>

// The day every store of these tests takes, whatever the wall clock says.
inline const QDate kToday{2026, 12, 6};

// The polling cycle alone on the simulated terminal, storing into the working folder.
// events: what its signals reported, each once, in the order first reported ("on", "off",
// "records in <file>", "empty", "stored N", "unstored N").
struct CycleFixture : SimFixture {
    PortGuard port{*link, dialogs};
    PollStore store{dir, [] { return kToday; }};
    bool stop = false;
    PollCycle cycle{*link, port, dialogs, store, stop};
    QStringList events;

    CycleFixture();
    // Runs the cycle until it has stopped, asked to once until() holds (looked at every
    // 10 ms) or timeoutMs has passed; true if until() held.
    bool run(const std::function<bool()> &until, int timeoutMs);
};

// The main window started on the simulated terminal, with a polling screen over it.
struct PollFixture : MainFixture {
    std::unique_ptr<PollScreen> screen;
    QString lights; // the indicators seen lit, each once: "Label1" (Off Line), "Label2" (On Line)

    PollFixture();
    // Shows the screen and lets its cycle run; every 10 ms (from inside the cycle's pauses
    // and event steps) onTick runs, and once until() holds "Uscita" is clicked as soon as it is
    // enabled. Returns when the screen has closed or timeoutMs has passed; true if closed.
    bool run(const std::function<bool()> &until, int timeoutMs,
             const std::function<void()> &onTick = {});

    QString todaysFile() const { return PollStore::fileName(kToday); }
    QStringList listItems() const;
    QString text(const char *label) const { return screen->findChild<QLabel *>(label)->text(); }
    bool enabled(const char *control) const
    {
        return screen->findChild<QWidget *>(control)->isEnabled();
    }
};
