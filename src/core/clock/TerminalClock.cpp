#include "TerminalClock.h"

#include "core/link/Exchange.h"
#include "core/link/Protocol.h"
#include "core/link/TerminalStatus.h"

#include <QStringList>

namespace {

// Tens and units of one field, each written in decimal.
QString fieldText(int value, int tensMask)
{
    if (value < 0)
        return QStringLiteral("00");
    const int byte = value & 0xFF;
    return QString::number((byte >> 4) & tensMask) + QString::number(byte & 0x0F);
}

int digitValue(QChar c)
{
    return c.isDigit() ? c.digitValue() : 0;
}

constexpr int kDayTens = 0x3, kMonthTens = 0x1, kHoursTens = 0x3, kMinutesTens = 0x7;
constexpr int kClockOffset = 48;

} // namespace

ClockTexts showTerminalClock(const QByteArray &statusLine)
{
    const QByteArray chars = TerminalStatus{statusLine}.clockChars();
    QStringList fields;
    constexpr int kTensMasks[] = {kDayTens, kMonthTens, kHoursTens, kMinutesTens};
    for (int i = 0; i < 4; ++i)
        fields << (i < chars.size() ? fieldText(quint8(chars[i]) - kClockOffset, kTensMasks[i])
                                    : QString());
    // A short line keeps whatever fields it has, without a separator dangling after them.
    auto join = [](const QString &a, const QString &b, QLatin1Char sep) {
        return b.isEmpty() ? a : a + sep + b;
    };
    return {join(fields[0], fields[1], QLatin1Char('-')),
            join(fields[2], fields[3], QLatin1Char(':'))};
}

ClockFields clockFields(const ClockTexts &texts)
{
    const auto split = [](const QString &text, QLatin1Char sep) {
        const qsizetype at = text.indexOf(sep);
        return at < 0 ? std::pair(text, QString()) : std::pair(text.left(at), text.mid(at + 1));
    };
    const auto [day, month] = split(texts.date, QLatin1Char('-'));
    const auto [hours, minutes] = split(texts.time, QLatin1Char(':'));
    return {day, month, hours, minutes};
}

quint8 encodeClockField(const QString &text)
{
    if (text.isEmpty())
        return 0;
    return quint8((digitValue(text.front()) & 0x0F) << 4 | (digitValue(text.back()) & 0x0F));
}

void sendClockFrame(Exchange &exchange, const TerminalClock &clock)
{
    exchange.flushInput();
    QList<QByteArray> writes{QByteArray("!"), QByteArray()};
    for (quint8 b : clock)
        writes << QByteArray(1, char(b));
    writes << QByteArray("^") << QByteArray(1, terminal::kCr);
    exchange.sendWrites(writes, terminal::kFrameGapMs);
}
