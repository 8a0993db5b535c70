#include "Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace language {

QString ofOperator(const QStringList &uiLanguages)
{
    for (const QString &language : uiLanguages) {
        if (language.startsWith(QLatin1String("it")))
            return {};
        if (language.startsWith(QLatin1String("en")))
            return QStringLiteral("en");
    }
    return {};
}

void speak(const QString &language)
{
    auto install = [](const QString &name, const QString &folder) {
        auto *translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(name, folder))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    };
    // Qt's is optional (qt6-translations-l10n): without it the buttons stay in English.
    install(QStringLiteral("qtbase_") + (language.isEmpty() ? QStringLiteral("it") : language),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!language.isEmpty())
        install(QStringLiteral("corvane_") + language, QStringLiteral(":/i18n"));
}

} // namespace language
