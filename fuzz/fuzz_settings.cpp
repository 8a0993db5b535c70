// The two small settings files read at start-up: portacom and kx7p.cfg.
#include "core/link/PortChoice.h"
#include "core/state/StartupSettings.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const char *name : {"portacom", "kx7p.cfg"}) {
        QFile f(dir.filePath(QLatin1String(name)));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            std::abort();
    }
    const int port = portchoice::load(dir, 0);
    // A port it cannot read is rewritten as "0" and port 1 is offered; one it can read is
    // left exactly as it was.
    QFile portacom(dir.filePath(QStringLiteral("portacom")));
    if (!portacom.open(QIODevice::ReadOnly))
        std::abort();
    const QByteArray after = portacom.readAll();
    if (after != bytes && !(after == "0\r\n" && port == 1))
        std::abort();
    const StartupSettings s = loadStartupSettings(dir);
    if (s.speed < StartupSettings::kMinSpeed || s.speed > StartupSettings::kMaxSpeed)
        std::abort();
    return 0;
}
