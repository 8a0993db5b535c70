#pragma once

#include <QCoreApplication>
#include <QString>

// The terminal's protocol bytes and timings, and the operator's messages about it: shared by
// the exchange routines and the pure pieces, which need them without a serial port.
namespace terminal {
constexpr char kAck = 0x06;
constexpr char kCr = 0x0D;
constexpr char kLf = 0x0A;
constexpr int kCharTimeoutMs = 1000;
constexpr int kFrameGapMs = 100;
// How the port is always opened: the line never runs otherwise.
constexpr int kInBufferSize = 32000;
inline const QString kLineSettings = QStringLiteral("9600,n,8,1");
// Far above any terminal memory (a million records fit): a stream that never falls silent
// is cut off here.
constexpr qint64 kMaxTransferBytes = 64 * 1024 * 1024;
// Functions, not constants: translated when shown, after the window installed its language.
inline QString noAnswerText()
{
    return QCoreApplication::translate(
        "terminal", "Lo Scanner non Risponde !!  Verificare che sia connesso e acceso !");
}
inline QString commErrorText()
{
    return QCoreApplication::translate("terminal", "Errore di comunicazione !!");
}
inline QString portErrorText()
{
    return QCoreApplication::translate("terminal", "Errore su porta COM");
}
inline QString doneText()
{
    return QCoreApplication::translate("terminal", "Operazione effettuata");
}
} // namespace terminal
