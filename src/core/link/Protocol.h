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
// The commands, each sent as "!", its code, "^" and CR, a frame gap apart.
constexpr char kStatusCommand = '?';     // the status line: settings, clock, memory figure
constexpr char kSendMemoryCommand = '7'; // every stored record, then silence
constexpr char kClearCommand = '6';      // wipes the memory, on the CR
// The pauses the terminal needs around them.
constexpr int kWakeGapMs = 100;               // between the wake-up's " " and "0"
constexpr int kWakeListenMs = 100;            // from the "0" to listening for the ACK
constexpr int kWakeListenBeforeFetchMs = 200; // the same, polling, before a transfer
constexpr int kAfterStatusCommandMs = 200;    // from "?"'s CR to reading its line
constexpr int kAfterSendMemoryMs = 100;       // from "7"'s CR to waiting for the data
constexpr int kBeforeMemoryCommandMs = 200;   // the main window's count and clear, first
constexpr int kBeforeFetchMs = 500;           // polling: from the status to the transfer
constexpr int kBeforeClearMs = 1000;          // polling: from the transfer to the clear
constexpr int kPollHalfTurnMs = 500;          // polling: each half of the rest between turns
constexpr int kBeforeSettingMs = 100;         // from the presence check to a setting
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
