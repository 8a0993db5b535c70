#pragma once

#include <QString>

// The titles of the message boxes: the main window's, and those of the screens opened over it,
// which differ by a leading blank.
inline const QString kMainTitle = QStringLiteral("Corvane");
inline const QString kScreenTitle = QStringLiteral(" Corvane");

// Every message box and beep of the program goes through this interface, so that tests can
// answer the questions and check the exact sequence of what the operator was shown.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Yes/No with the stop icon. True unless the answer is No: a confirmation proceeds on
    // any other answer.
    virtual bool question(const QString &title, const QString &text) = 0;
    // OK with the stop icon. Named after its icon, not its use: the terminal's errors show it,
    // and so do some confirmations of success ("Memoria Cancellata").
    virtual void critical(const QString &title, const QString &text) = 0;
    // OK with the information icon (results).
    virtual void information(const QString &title, const QString &text) = 0;
    // OK without an icon.
    virtual void plain(const QString &title, const QString &text) = 0;
    virtual void beep() = 0;
};
