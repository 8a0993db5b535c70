#pragma once

#include "core/state/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Answers questions from a queue (Yes when it runs dry) and records everything shown, in
// order, as "kind|title|text" lines; a beep is recorded as "beep".
class ScriptedDialogs : public Dialogs {
public:
    QStringList shown;
    QList<bool> answers; // true = Yes
    // Runs as each entry is recorded, while the screen is still in the state it showed it in.
    std::function<void(const QString &)> onShow;

    bool question(const QString &title, const QString &text) override
    {
        record({"question", title, text});
        return answers.isEmpty() || answers.takeFirst();
    }
    void critical(const QString &t, const QString &x) override { record({"critical", t, x}); }
    void information(const QString &t, const QString &x) override { record({"information", t, x}); }
    void plain(const QString &t, const QString &x) override { record({"plain", t, x}); }
    void beep() override { record({QStringLiteral("beep")}); }

private:
    void record(const QStringList &parts)
    {
        shown << parts.join(QLatin1Char('|'));
        if (onShow)
            onShow(shown.last());
    }
};
