#pragma once

#include <QString>
#include <QStringList>

// The window's language: Italian, the language of the texts in the code, or English from the
// translation built into the program.
namespace language {

// The first of the operator's languages (QLocale::system().uiLanguages(), most wanted first)
// that Corvane has: "en" for English; empty for Italian, which C/POSIX and every language
// without a translation fall back to.
QString ofOperator(const QStringList &uiLanguages);

// Installs Corvane's translation for the language and Qt's own, so the standard buttons speak
// it too ("Sì" in Italian, "Yes" in English).
void speak(const QString &language);

} // namespace language
