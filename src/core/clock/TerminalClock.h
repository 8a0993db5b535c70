#pragma once

#include <QByteArray>
#include <QString>

#include <array>

class Exchange;

// The terminal's clock as packed BCD, in the order it travels: day, month, hours, minutes.
using TerminalClock = std::array<quint8, 4>;

// What the programming screen shows of the clock: "25-03" and "14:05".
struct ClockTexts {
    QString date;
    QString time;
};

// The clock characters of the status line (positions 13-16: day, month, hours, minutes),
// each its byte value minus 48, as the date and time texts. The tens digit takes only the
// bits its largest value needs (day and hours 5-4, month 4, minutes 6-4); higher bits are
// ignored and a byte below "0" shows 00. A units nibble of 10-15 shows as computed ("110"):
// the operator sees an odd byte rather than a guess. A field the line does not reach shows
// nothing.
ClockTexts showTerminalClock(const QByteArray &statusLine);

// The day, month, hours and minutes of the texts above, as the clock screen's boxes take
// them. A field the texts do not hold (a status line that stopped short) is empty, never a
// neighbour's digits.
using ClockFields = std::array<QString, 4>;
ClockFields clockFields(const ClockTexts &texts);

// A box's text as one packed-BCD byte: tens from the first character, units from the last
// (a non-digit counts 0). Callers pad one digit first, since "5" alone gives 0x55.
quint8 encodeClockField(const QString &text);

// "!", an empty write where a command code would be, the four bytes as they are, "^" and CR,
// each followed by 100 ms. No reply is read.
void sendClockFrame(Exchange &exchange, const TerminalClock &clock);
