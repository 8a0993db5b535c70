#pragma once

#include <QObject>

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
    // The outcome of the last check.
    bool portUsable() const { return m_usable; }

signals:
    void portUnavailable();

private:
    SerialLink &m_link;
    Dialogs &m_dialogs;
    bool m_usable = false;
};
