#pragma once

// The main window's port check and its "port unavailable" state, for the screens it opens.
class PortGuard {
public:
    virtual ~PortGuard() = default;
    virtual bool checkPortUsable() = 0;
    virtual void reportPortUnavailable() = 0;

    // The check that opens a command: on failure the port is also marked unavailable.
    bool ensurePortUsable()
    {
        if (checkPortUsable())
            return true;
        reportPortUnavailable();
        return false;
    }
};
