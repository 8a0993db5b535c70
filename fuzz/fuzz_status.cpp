// The status line's fields, the memory figure and the firmware caption.
#include "core/link/TerminalStatus.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const TerminalStatus status{QByteArray(reinterpret_cast<const char *>(data), qsizetype(size))};
    // Every field is exactly the part of the line at its positions, clipped to its end.
    const auto expect = [&](const QByteArray &field, int first, int last) {
        if (field != status.line.mid(first - 1, last - first + 1))
            std::abort();
    };
    expect(status.parameterChars(), 2, 12);
    expect(status.clockChars(), 13, 16);
    expect(status.freeMemoryField(), 17, 21);
    expect(status.firmwareField(), 22, 23);
    expect(status.memoryCode(), 24, 24);
    if (status.statusSuffix() != status.line.right(2))
        std::abort();
    if (!std::isfinite(status.memoryFigure()))
        std::abort();
    // One character per byte: the caption never loses or invents one.
    if (!status.firmwareText().startsWith(QStringLiteral("Versione Firmware: ")))
        std::abort();
    return 0;
}
