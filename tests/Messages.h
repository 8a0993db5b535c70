#pragma once

#include <QString>

// The message boxes as ScriptedDialogs records them ("kind|title|text"). The main window
// titles its boxes "Corvane", the other screens " Corvane".
namespace shown {

const QString kNoAnswerText =
    QStringLiteral("Lo Scanner non Risponde !!  Verificare che sia connesso e acceso !");

inline QString onMain(const char *kind, const QString &text)
{
    return QLatin1String(kind) + QStringLiteral("|Corvane|") + text;
}
inline QString onScreen(const char *kind, const QString &text)
{
    return QLatin1String(kind) + QStringLiteral("| Corvane|") + text;
}

const QString kNoAnswer = onMain("critical", kNoAnswerText);
const QString kNoAnswerOnScreen = onScreen("critical", kNoAnswerText);
const QString kCommError = onMain("critical", QStringLiteral("Errore di comunicazione !!"));
const QString kCommErrorOnScreen =
    onScreen("critical", QStringLiteral("Errore di comunicazione !!"));
const QString kPortError = onMain("critical", QStringLiteral("Errore su porta COM"));
const QString kPortMissing = onMain("critical", QStringLiteral("Porta COM non disponibile"));
const QString kDone = onScreen("critical", QStringLiteral("Operazione effettuata"));
const QString kFirmware = onMain("information", QStringLiteral("Versione Firmware: 3.1  OK"));
const QString kDeviceGone =
    onMain("plain", QStringLiteral("Errore sulla porta COM\r\nTerminale scollegato o Driver "
                                   "mancante\r\nCollegare il terminale riaprire la COM dalla "
                                   "finestra principale\r\nSe il problema persiste riavviare "
                                   "completamente il programma\r\n"));

} // namespace shown
