#include "TerminalStatus.h"

#include "core/state/DisplayText.h"

#include <QCoreApplication>

#include <cctype>

QByteArray TerminalStatus::field(int first, int last) const
{
    if (first < 1 || last < first || first > line.size())
        return {};
    return line.mid(first - 1, last - first + 1);
}

QString TerminalStatus::firmwareText() const
{
    const QByteArray fw = firmwareField();
    // One arg() call: the terminal's bytes may hold a '%' that must stay as it is.
    return QCoreApplication::translate("TerminalStatus", "Versione Firmware: %1.%2  %3")
        .arg(displayText(fw.left(1)), displayText(fw.mid(1, 1)), displayText(statusSuffix()));
}

double TerminalStatus::memoryFigure() const
{
    const double base = memoryCode() == "6" ? 64000 : 32000;
    return base - leadingNumber(freeMemoryField());
}

double leadingNumber(const QByteArray &text)
{
    QByteArray number;
    bool digits = false, point = false, exponent = false;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue;
        const bool atStart = number.isEmpty() || number.endsWith('e');
        if ((c == '+' || c == '-') && atStart) {
            number += c;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            number += c;
            digits = true;
        } else if (c == '.' && !point && !exponent) {
            number += c;
            point = true;
        } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && digits && !exponent) {
            number += 'e';
            exponent = true;
        } else {
            break;
        }
    }
    // Drop an exponent or sign that never got its digits ("12e", "12e-").
    while (!number.isEmpty() && !std::isdigit(static_cast<unsigned char>(number.back())) &&
           number.back() != '.')
        number.chop(1);
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok ? value : 0;
}
