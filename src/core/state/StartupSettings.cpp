#include "StartupSettings.h"

#include <QFile>

#include <cmath>
#include <limits>
#include <optional>

namespace {

// Four short numbers never need more than this; the rest of a huge file is never read.
constexpr qint64 kMaxReadBytes = 4096;

std::optional<qint16> toInt16(const QByteArray &token)
{
    bool ok = false;
    const int v = token.toInt(&ok, 10);
    if (!ok || v < std::numeric_limits<qint16>::min() || v > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(v);
}

std::optional<double> toNumber(const QByteArray &token)
{
    bool ok = false;
    const double v = token.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

} // namespace

StartupSettings loadStartupSettings(const QDir &dir)
{
    StartupSettings s;
    QFile file(dir.filePath(QLatin1String(kStartupSettingsFile)));
    if (file.open(QIODevice::ReadOnly)) {
        QByteArray text = file.read(kMaxReadBytes);
        text.replace("\r\n", "\n");
        text.replace('\r', '\n');
        QList<QByteArray> tokens = text.split('\n');
        QList<QByteArray> values;
        for (const QByteArray &line : tokens) {
            if (!line.trimmed().isEmpty()) // blank lines separate, they hold no value
                values += line.split(',');
        }
        auto token = [&](int i) { return i < values.size() ? values[i].trimmed() : QByteArray(); };

        [&] {
            qint16 *ints[] = {&s.first, &s.second, &s.third};
            for (int i = 0; i < 3; ++i) {
                const auto v = toInt16(token(i));
                if (!v)
                    return;
                *ints[i] = *v;
            }
            if (const auto v = toNumber(token(3)))
                s.speed = *v;
        }();
    }
    if (s.speed > StartupSettings::kMaxSpeed)
        s.speed = StartupSettings::kMaxSpeed;
    if (s.speed < StartupSettings::kMinSpeed)
        s.speed = StartupSettings::kMinSpeed;
    return s;
}
