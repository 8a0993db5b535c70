#pragma once

#include "core/state/Dialogs.h"

// The production implementation: modal QMessageBox over the active window.
class MessageBoxDialogs : public Dialogs {
public:
    bool question(const QString &title, const QString &text) override;
    void critical(const QString &title, const QString &text) override;
    void information(const QString &title, const QString &text) override;
    void plain(const QString &title, const QString &text) override;
    void beep() override;
};
