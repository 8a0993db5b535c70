#pragma once

#include <QString>

// Every message box and beep of the program goes through this interface, so that tests can
// answer the questions and check the exact sequence of what the operator was shown.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Yes/No with the stop icon. True unless the answer is No: a confirmation proceeds on
    // any other answer.
    virtual bool question(const QString &title, const QString &text) = 0;
    // OK with the stop icon (errors, and some confirmations of success).
    virtual void error(const QString &title, const QString &text) = 0;
    // OK with the information icon (results).
    virtual void info(const QString &title, const QString &text) = 0;
    // OK without an icon.
    virtual void plain(const QString &title, const QString &text) = 0;
    virtual void beep() = 0;
};
