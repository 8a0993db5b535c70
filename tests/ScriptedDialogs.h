#pragma once

#include "ui/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

// Answers questions from a queue (Yes when it runs dry) and records everything shown, in
// order, as "kind|title|text" lines; a beep is recorded as "beep".
class ScriptedDialogs : public Dialogs {
public:
    QStringList shown;
    QList<bool> answers; // true = Yes

    bool question(const QString &title, const QString &text) override
    {
        shown << QStringLiteral("question|%1|%2").arg(title, text);
        return answers.isEmpty() ? true : answers.takeFirst();
    }
    void error(const QString &title, const QString &text) override
    {
        shown << QStringLiteral("error|%1|%2").arg(title, text);
    }
    void info(const QString &title, const QString &text) override
    {
        shown << QStringLiteral("info|%1|%2").arg(title, text);
    }
    void plain(const QString &title, const QString &text) override
    {
        shown << QStringLiteral("plain|%1|%2").arg(title, text);
    }
    void beep() override { shown << QStringLiteral("beep"); }
};
