#pragma once

#include "commit/PollerState.h"

#include <QObject>
#include <QString>

#include <functional>

class PollCycle;
class PollStore;

// Keeps a poller's state file (corvane-poll's, the polling screen's) as its cycle reports:
// whether the terminal answers, each transfer stored or kept aside. A lost port and the end
// of polling are seen by the owner of the cycle, which tells them here. Made once the store
// knows its terminal's name, which names the file; the first state reported writes it.
class PollerStateReporter {
public:
    // onWriteFailed is told why at the first write that fails, and never again: the file is
    // the office's view, and polling goes on without it.
    PollerStateReporter(PollCycle &cycle, const PollStore &store, const QString &program,
                        std::function<void(const QString &why)> onWriteFailed = {});

    void portLost();
    // Polling has ended; also when the reporter goes.
    void stopped();

private:
    void wrote(bool ok);

    const PollStore &m_store;
    PollerStateFile m_file;
    std::function<void(const QString &)> m_onWriteFailed;
    bool m_failureTold = false;
    QObject m_context; // the cycle's connections go with it, before the file
};
