#pragma once

#include <QByteArray>
#include <QString>

// The terminal's one-line answer to "?", read field by field. Positions are 1-based; a field
// that runs past the end of the line is the part that exists, possibly empty. Bytes stay
// bytes (0x80-0xFF included).
struct TerminalStatus {
    QByteArray line;

    // Characters first..last (1-based, inclusive), clipped to the line.
    QByteArray field(int first, int last) const;

    QByteArray parameterChars() const { return field(2, 12); }
    QByteArray clockChars() const { return field(13, 16); }
    QByteArray freeMemoryField() const { return field(17, 21); }
    QByteArray firmwareField() const { return field(22, 23); }
    QByteArray memoryCode() const { return field(24, 24); }
    QByteArray statusSuffix() const { return line.right(2); }

    // "Versione Firmware: 3.1  AB": major and minor digit, then the line's last two
    // characters; missing characters leave their places empty.
    QString firmwareText() const;

    // How full the terminal's memory is: 64000 (memory code "6") or 32000, less the
    // free-memory field read as a leading number. -8000 means the memory holds nothing.
    double memoryFigure() const;
    static constexpr double kEmptyMemoryFigure = -8000;
};

// The number at the start of a text: blanks are skipped, reading stops at the first
// character that cannot continue the number, no number at all gives 0.
double leadingNumber(const QByteArray &text);
