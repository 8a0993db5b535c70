#pragma once

#include <QDir>

// Start-up values kept in "kx7p.cfg": up to four comma- or line-separated numbers. Nothing
// in the program acts on them; they are read and kept as the installed base expects.
struct StartupSettings {
    qint16 first = 59;
    qint16 second = 0;
    qint16 third = 5;
    double speed = 9600;

    static constexpr double kMinSpeed = 2400;
    static constexpr double kMaxSpeed = 9600;
};

inline constexpr const char *kStartupSettingsFile = "kx7p.cfg";

// Reads the file; reading stops at the first missing or non-numeric value, which keeps its
// default together with every value after it. Never fails: a missing or unreadable file
// gives the defaults. The speed is kept within 2400..9600.
StartupSettings loadStartupSettings(const QDir &dir);
