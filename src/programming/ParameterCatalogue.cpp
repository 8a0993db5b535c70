#include "ParameterCatalogue.h"

namespace {

const QString kClearsMemory = QStringLiteral("Il comando cancellera' anche i dati in memoria !!!");
const QString kSpeedWarning =
    QStringLiteral("ATTENZIONE!!!\r\n"
                   "Lo scanner non potra' lavorare con questo programma\r\n"
                   "cambiando la velocita di comunicazione.\r\n"
                   "Sara' necessario resettare la velocita' <9600> dal manuale di "
                   "programmazione!!!\r\n");

constexpr ParameterValue kTerminator[] = {
    {"CR + LF", "Command2", '2', "Check1", '2', 0, "Terminatore Record (CR+LF) ?"},
    {"CR", "Command1", '1', "Check2", '1', 0, "Terminatore Record (CR) ?"},
    {"TAB", "Command18", 'E', "Check17", 'E', 8,
     "Lo Scanner non SCARICA correttamente con questo\r\n"
     "programma se si utilizza il terminatore (TAB)\r\n"
     "\r\n"
     "Configurare con terminatore (TAB) ?"},
};
constexpr ParameterValue kSeparator[] = {
    {";", "Command5", '9', "Check4", '9', 0, "Separatore campi (;) ?"},
    {"TAB", "Command4", ':', "Check3", ':', 0, "Separatore campi (TAB) ?"},
    {"CR", "Command6", ';', "Check7", ';', 0, "Separatore campi (CR) ?"},
    {"CR + LF", "Command7", '<', "Check8", '<', 0, "Separatore campi (CR+LF) ?"},
};
constexpr ParameterValue kPause[] = {
    {"0 mSec", "Command11", '3', "Check10", 0, 0, "Pausa Inter-Record (0 mSec) ?"},
    {"200 mSec", "Command12", '4', "Check11", '4', 0, "Pausa Inter-Record (200 mSec) ?"},
    {"900 mSec", "Command13", '5', "Check12", '5', 0, "Pausa Inter-Record (900 mSec) ?"},
};
constexpr ParameterValue kSpeed[] = {
    {"2400", "Command3d4", 'J', "Check19", 'J', 0, "Velocita' di comunicazione <2400> ?",
     Warning::Speed},
    {"4800", "Command3d3", 'K', "Check9", 'K', 0, "Velocita' di comunicazione <4800> ?",
     Warning::Speed},
    {"9600", "Command3d2", 'I', "Check20", 'I', 0, "Velocita' di comunicazione <9600> ?"},
    {"19200", "Command3d1", 'L', "Check21", 'L', 0, "Velocita' di comunicazione <19200> ?",
     Warning::Speed},
};
constexpr ParameterValue kFileFormat[] = {
    {"Codice+Q.t\u00e0", "Command15", '@', "Check14", '@', 0, "Formato File Codice+Quantita ?"},
    {"Solo Codice", "Command14", 'A', "Check13", 'A', 0, "Formato File solo Codice ?"},
};
constexpr ParameterValue kDateTime[] = {
    {"Con Data/Ora", "Command3d14", 'U', "Check30", 'U', 0, "Aggiungere il campo DATA/ORA ?"},
    {"No Data/Ora", "Command3d13", 'V', "Check31", 'V', 0, "Eliminare il campo DATA/ORA ?"},
};
constexpr ParameterValue kLrc[] = {
    {"Senza LRC", "Command16", 'C', "Check15", 'C', 0, "Scarico Dati senza LRC ?"},
    {"Con LRC", "Command17", 'B', "Check16", 'B', 0, "Scarico Dati con LRC ?"},
};
constexpr ParameterValue kQuantity[] = {
    {"1 Carattere", "Command3d7", 'O', "Check26", 'O', 0,
     "Impostare il Formato Quantita' a <1> carattere ?", Warning::ClearsMemory},
    {"2 Caratteri", "Command3d8", 'P', "Check27", 'P', 0,
     "Impostare il Formato Quantita' a <2> caratteri ?", Warning::ClearsMemory},
    {"3 Caratteri", "Command3d9", 'Q', "Check25", 'Q', 0,
     "Impostare il Formato Quantita' a <3> caratteri ?", Warning::ClearsMemory},
    {"4 Caratteri", "Command3d10", 'R', "Check24", 'R', 0,
     "Impostare il Formato Quantita' a <4> caratteri ?", Warning::ClearsMemory},
    {"5 Caratteri", "Command3d11", 'S', "Check29", 'S', 0,
     "Impostare il Formato Quantita' a <5> caratteri ?", Warning::ClearsMemory},
    {"6 Caratteri", "Command3d12", 'T', "Check28", 'T', 0,
     "Impostare il Formato Quantita' a <6> caratteri ?", Warning::ClearsMemory},
};
constexpr ParameterValue kDownload[] = {
    {"Totale", "Command3d6", 'M', "Check23", 'M', 0, "Modalita' di Scarico Totale ?"},
    {"Protocollo", "Command3d5", 'N', "Check22", 'N', 0,
     "Modalita' di Scarico con protocollo ?\r\n"
     "Lo scanner non potra' scaricare i dati con questo programma\r\n"
     "essendo settato in modalita Protocollo!!!"},
};
// Not in the status line: the terminal's on-line mode and its "File" download mode.
constexpr ParameterValue kOperatingMode[] = {
    {"Off Line", "Command10", '>', "Check6", 0, 0, "Settare lo scanner in modo Off-Line ?"},
    {"On Line", "Command9", '?', "Check5", 0, 0, "Settare lo scanner in modo On-Line ?"},
};
constexpr ParameterValue kFileMode[] = {
    // The file mode and the TAB terminator exclude each other.
    {"File", "Command19", 'D', "Check18", 0, 0, "Modo di Scarico (FILE) ?", Warning::None,
     "Check17"},
};

// Not a value of any group: it resets them all.
constexpr ParameterValue kRestoreDefaults[] = {
    {"Ripristina Default", "Command20", '8', nullptr, 0, 0,
     "Ripristinare tutti i parametri di DEFAULT ?", Warning::ClearsMemory},
};

// Default of an unreported group: what "Ripristina Default" leaves the terminal in.
constexpr ParameterGroup kGroups[] = {
    {"Terminatore record", "Frame1", 2, 0, 0, kTerminator},
    {"Separatore campi", "Frame6", 4, 0, 0, kSeparator},
    {"Pausa Inter-record", "Frame5", 3, 0, 1, kPause},
    {"BAUD rate", "Frame3d1", 9, 2, 1, kSpeed},
    {"Formato File", "Frame2", 6, 0, 2, kFileFormat},
    {"Data / Ora", "Frame3d4", 12, 0, 2, kDateTime},
    {"LRC Checksum", "Frame4", 7, 0, 2, kLrc},
    {"Formato Quantit\u00e0", "Frame3d3", 11, 4, 3, kQuantity},
    {"Modalit\u00e0 di Scarico", "Frame3d2", 10, 0, 3, kDownload},
    {"Modo Operativo", "Frame3", 0, 0, 0, kOperatingMode},
    {"Modo di Scarico", "Frame7", 0, 0, 1, kFileMode},
};

char charAt(const QByteArray &line, int position)
{
    return position >= 1 && position <= line.size() ? line[position - 1] : '\0';
}

} // namespace

std::span<const ParameterGroup> parameterGroups()
{
    return kGroups;
}

const ParameterValue &restoreDefaults()
{
    return kRestoreDefaults[0];
}

const ParameterGroup *groupOf(const ParameterValue &value)
{
    for (const ParameterGroup &g : kGroups) {
        for (const ParameterValue &v : g.values) {
            if (&v == &value)
                return &g;
        }
    }
    return nullptr;
}

QString questionText(const ParameterValue &value)
{
    const QString text = QString::fromUtf8(value.question);
    switch (value.warning) {
    case Warning::Speed:
        return text + QStringLiteral("\r\n") + kSpeedWarning;
    case Warning::ClearsMemory:
        return text + QStringLiteral("\r\n") + kClearsMemory;
    case Warning::None:
        break;
    }
    return text;
}

QString indicatorName(const ParameterGroup &group, const ParameterValue &value)
{
    return QString::fromUtf8(group.caption) + QLatin1Char(' ') + QString::fromUtf8(value.caption);
}

IndicatorStates decodeConfigString(const QByteArray &configString)
{
    IndicatorStates states;
    for (const ParameterGroup &g : kGroups) {
        if (!g.reported())
            continue;
        const ParameterValue *shown = &g.values[g.defaultValue];
        // A value with a position of its own is looked at first: it takes precedence.
        for (bool ownPosition : {true, false}) {
            for (const ParameterValue &v : g.values) {
                if ((v.reportPosition != 0) != ownPosition || v.report == 0)
                    continue;
                const int position = ownPosition ? v.reportPosition : g.position;
                if (charAt(configString, position) == v.report &&
                    shown == &g.values[g.defaultValue])
                    shown = &v;
            }
        }
        for (const ParameterValue &v : g.values)
            states.insert(QString::fromLatin1(v.indicator), &v == shown);
    }
    return states;
}

IndicatorStates indicatorUpdate(const ParameterValue &value)
{
    IndicatorStates states;
    const bool restoring = &value == &kRestoreDefaults[0];
    const ParameterGroup *own = restoring ? nullptr : groupOf(value);
    for (const ParameterGroup &g : kGroups) {
        if (!restoring && &g != own)
            continue;
        for (const ParameterValue &v : g.values)
            states.insert(QString::fromLatin1(v.indicator),
                          restoring ? &v == &g.values[g.defaultValue] : &v == &value);
    }
    if (value.alsoClears)
        states.insert(QString::fromLatin1(value.alsoClears), false);
    return states;
}
