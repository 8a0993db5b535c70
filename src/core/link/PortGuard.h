#pragma once

#include <QObject>

#include <functional>

class ControlLock;
class Dialogs;
class SerialLink;

// Whether the one serial port can be used, for every screen and the headless poller. The
// check tells the operator why it failed; a failure that makes the port unusable is
// announced once through portUnavailable(), which the main window shows.
class PortGuard : public QObject {
    Q_OBJECT
public:
    PortGuard(SerialLink &link, Dialogs &dialogs) : m_link(link), m_dialogs(dialogs) {}

    // Asks the port for its waiting byte count; on failure the operator is told why.
    bool checkPortUsable();
    void reportPortUnavailable() { emit portUnavailable(); }
    // The check that opens a command: on failure the port is also marked unavailable.
    bool ensurePortUsable();

    // What a port failing in the middle of an exchange tells the operator.
    enum class Midway {
        PortError,      // "Errore su porta COM", the port left as it is (the main window)
        FailureMessage, // the failure's own message, and the port marked unavailable
        NextCheckTells, // nothing: the caller's next check reports a failure that lasts
    };
    // Runs one exchange. A port that fails midway ends it as midway says, and the screen
    // is unlocked. False when it ended that way.
    bool runGuarded(ControlLock &lock, Midway midway, const std::function<void()> &exchange);

signals:
    void portUnavailable();

private:
    SerialLink &m_link;
    Dialogs &m_dialogs;
};
