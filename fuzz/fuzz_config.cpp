// The parameter decoding and the clock texts of the status line.
#include "core/clock/TerminalClock.h"
#include "core/programming/ParameterCatalogue.h"

#include <QRegularExpression>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray line(reinterpret_cast<const char *>(data), qsizetype(size));
    const IndicatorStates states = decodeConfigString(line);
    // Exactly one indicator set in each reported group, whatever the line holds.
    for (const ParameterGroup &g : parameterGroups()) {
        if (!g.reported())
            continue;
        int set = 0;
        for (const ParameterValue &v : g.values)
            set += states.value(QString::fromLatin1(v.indicator), false) ? 1 : 0;
        if (set != 1)
            std::abort();
    }
    // Each clock field is two to three digits (a units nibble above 9 gives two of its own).
    const ClockTexts clock = showTerminalClock(line);
    for (const QString &text : {clock.date, clock.time}) {
        for (const QStringView field :
             QStringView(text).split(QRegularExpression(QStringLiteral("[-:]")))) {
            if (!field.isEmpty() && (field.size() < 2 || field.size() > 3))
                std::abort();
            for (QChar c : field)
                if (!c.isDigit())
                    std::abort();
        }
    }
    if (line.size() >= 16 &&
        (clock.date.count(QLatin1Char('-')) != 1 || clock.time.count(QLatin1Char(':')) != 1))
        std::abort();
    return 0;
}
