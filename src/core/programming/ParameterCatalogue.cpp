#include "ParameterCatalogue.h"

#include <QCoreApplication>

namespace {

// The table holds the Italian source texts; they are translated where shown, once the window
// has installed its language.
QString translated(const char *text)
{
    return QCoreApplication::translate("ParameterCatalogue", text);
}

const char *const kClearsMemory =
    QT_TRANSLATE_NOOP("ParameterCatalogue", "Il comando cancellera' anche i dati in memoria !!!");
const char *const kSpeedWarning = QT_TRANSLATE_NOOP(
    "ParameterCatalogue", "ATTENZIONE!!!\r\n"
                          "Lo scanner non potra' lavorare con questo programma\r\n"
                          "cambiando la velocita di comunicazione.\r\n"
                          "Sara' necessario resettare la velocita' <9600> dal manuale di "
                          "programmazione!!!\r\n");

constexpr ParameterValue kTerminator[] = {
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "CR + LF"),
     .button = "Command2",
     .code = '2',
     .indicator = "Check1",
     .report = '2',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Terminatore Record (CR+LF) ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "CR"),
     .button = "Command1",
     .code = '1',
     .indicator = "Check2",
     .report = '1',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Terminatore Record (CR) ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "TAB"),
     .button = "Command18",
     .code = 'E',
     .indicator = "Check17",
     .report = 'E',
     .reportPosition = 8,
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue",
                                   "Lo Scanner non SCARICA correttamente con questo\r\n"
                                   "programma se si utilizza il terminatore (TAB)\r\n"
                                   "\r\n"
                                   "Configurare con terminatore (TAB) ?")},
};
constexpr ParameterValue kSeparator[] = {
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", ";"),
     .button = "Command5",
     .code = '9',
     .indicator = "Check4",
     .report = '9',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Separatore campi (;) ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "TAB"),
     .button = "Command4",
     .code = ':',
     .indicator = "Check3",
     .report = ':',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Separatore campi (TAB) ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "CR"),
     .button = "Command6",
     .code = ';',
     .indicator = "Check7",
     .report = ';',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Separatore campi (CR) ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "CR + LF"),
     .button = "Command7",
     .code = '<',
     .indicator = "Check8",
     .report = '<',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Separatore campi (CR+LF) ?")},
};
constexpr ParameterValue kPause[] = {
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "0 mSec"),
     .button = "Command11",
     .code = '3',
     .indicator = "Check10",
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Pausa Inter-Record (0 mSec) ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "200 mSec"),
     .button = "Command12",
     .code = '4',
     .indicator = "Check11",
     .report = '4',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Pausa Inter-Record (200 mSec) ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "900 mSec"),
     .button = "Command13",
     .code = '5',
     .indicator = "Check12",
     .report = '5',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Pausa Inter-Record (900 mSec) ?")},
};
constexpr ParameterValue kSpeed[] = {
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "2400"),
     .button = "Command3d4",
     .code = 'J',
     .indicator = "Check19",
     .report = 'J',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Velocita' di comunicazione <2400> ?"),
     .warning = Warning::Speed},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "4800"),
     .button = "Command3d3",
     .code = 'K',
     .indicator = "Check9",
     .report = 'K',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Velocita' di comunicazione <4800> ?"),
     .warning = Warning::Speed},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "9600"),
     .button = "Command3d2",
     .code = 'I',
     .indicator = "Check20",
     .report = 'I',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Velocita' di comunicazione <9600> ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "19200"),
     .button = "Command3d1",
     .code = 'L',
     .indicator = "Check21",
     .report = 'L',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Velocita' di comunicazione <19200> ?"),
     .warning = Warning::Speed},
};
constexpr ParameterValue kFileFormat[] = {
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Codice+Q.tà"),
     .button = "Command15",
     .code = '@',
     .indicator = "Check14",
     .report = '@',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Formato File Codice+Quantita ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Solo Codice"),
     .button = "Command14",
     .code = 'A',
     .indicator = "Check13",
     .report = 'A',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Formato File solo Codice ?")},
};
constexpr ParameterValue kDateTime[] = {
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Con Data/Ora"),
     .button = "Command3d14",
     .code = 'U',
     .indicator = "Check30",
     .report = 'U',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Aggiungere il campo DATA/ORA ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "No Data/Ora"),
     .button = "Command3d13",
     .code = 'V',
     .indicator = "Check31",
     .report = 'V',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Eliminare il campo DATA/ORA ?")},
};
constexpr ParameterValue kLrc[] = {
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Senza LRC"),
     .button = "Command16",
     .code = 'C',
     .indicator = "Check15",
     .report = 'C',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Scarico Dati senza LRC ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Con LRC"),
     .button = "Command17",
     .code = 'B',
     .indicator = "Check16",
     .report = 'B',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Scarico Dati con LRC ?")},
};
constexpr ParameterValue kQuantity[] = {
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "1 Carattere"),
     .button = "Command3d7",
     .code = 'O',
     .indicator = "Check26",
     .report = 'O',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue",
                                   "Impostare il Formato Quantita' a <1> carattere ?"),
     .warning = Warning::ClearsMemory},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "2 Caratteri"),
     .button = "Command3d8",
     .code = 'P',
     .indicator = "Check27",
     .report = 'P',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue",
                                   "Impostare il Formato Quantita' a <2> caratteri ?"),
     .warning = Warning::ClearsMemory},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "3 Caratteri"),
     .button = "Command3d9",
     .code = 'Q',
     .indicator = "Check25",
     .report = 'Q',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue",
                                   "Impostare il Formato Quantita' a <3> caratteri ?"),
     .warning = Warning::ClearsMemory},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "4 Caratteri"),
     .button = "Command3d10",
     .code = 'R',
     .indicator = "Check24",
     .report = 'R',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue",
                                   "Impostare il Formato Quantita' a <4> caratteri ?"),
     .warning = Warning::ClearsMemory},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "5 Caratteri"),
     .button = "Command3d11",
     .code = 'S',
     .indicator = "Check29",
     .report = 'S',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue",
                                   "Impostare il Formato Quantita' a <5> caratteri ?"),
     .warning = Warning::ClearsMemory},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "6 Caratteri"),
     .button = "Command3d12",
     .code = 'T',
     .indicator = "Check28",
     .report = 'T',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue",
                                   "Impostare il Formato Quantita' a <6> caratteri ?"),
     .warning = Warning::ClearsMemory},
};
constexpr ParameterValue kDownload[] = {
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Totale"),
     .button = "Command3d6",
     .code = 'M',
     .indicator = "Check23",
     .report = 'M',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Modalita' di Scarico Totale ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Protocollo"),
     .button = "Command3d5",
     .code = 'N',
     .indicator = "Check22",
     .report = 'N',
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue",
                                   "Modalita' di Scarico con protocollo ?\r\n"
                                   "Lo scanner non potra' scaricare i dati con questo programma\r\n"
                                   "essendo settato in modalita Protocollo!!!")},
};
// Not in the status line: the terminal's on-line mode and its "File" download mode.
constexpr ParameterValue kOperatingMode[] = {
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Off Line"),
     .button = "Command10",
     .code = '>',
     .indicator = "Check6",
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Settare lo scanner in modo Off-Line ?")},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "On Line"),
     .button = "Command9",
     .code = '?',
     .indicator = "Check5",
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Settare lo scanner in modo On-Line ?")},
};
constexpr ParameterValue kFileMode[] = {
    // The file mode and the TAB terminator exclude each other.
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "File"),
     .button = "Command19",
     .code = 'D',
     .indicator = "Check18",
     .question = QT_TRANSLATE_NOOP("ParameterCatalogue", "Modo di Scarico (FILE) ?"),
     .alsoClears = "Check17"},
};

// Not a value of any group: it resets them all.
constexpr ParameterValue kRestoreDefaults[] = {
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Ripristina Default"),
     .button = "Command20",
     .code = '8',
     .question =
         QT_TRANSLATE_NOOP("ParameterCatalogue", "Ripristinare tutti i parametri di DEFAULT ?"),
     .warning = Warning::ClearsMemory},
};

// Default of an unreported group: what "Ripristina Default" leaves the terminal in.
constexpr ParameterGroup kGroups[] = {
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Terminatore record"),
     .frame = "Frame1",
     .position = 2,
     .defaultValue = 0,
     .column = 0,
     .values = kTerminator},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Separatore campi"),
     .frame = "Frame6",
     .position = 4,
     .defaultValue = 0,
     .column = 0,
     .values = kSeparator},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Pausa Inter-record"),
     .frame = "Frame5",
     .position = 3,
     .defaultValue = 0,
     .column = 1,
     .values = kPause},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "BAUD rate"),
     .frame = "Frame3d1",
     .position = 9,
     .defaultValue = 2,
     .column = 1,
     .values = kSpeed},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Formato File"),
     .frame = "Frame2",
     .position = 6,
     .defaultValue = 0,
     .column = 2,
     .values = kFileFormat},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Data / Ora"),
     .frame = "Frame3d4",
     .position = 12,
     .defaultValue = 0,
     .column = 2,
     .values = kDateTime},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "LRC Checksum"),
     .frame = "Frame4",
     .position = 7,
     .defaultValue = 0,
     .column = 2,
     .values = kLrc},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Formato Quantità"),
     .frame = "Frame3d3",
     .position = 11,
     .defaultValue = 4,
     .column = 3,
     .values = kQuantity},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Modalità di Scarico"),
     .frame = "Frame3d2",
     .position = 10,
     .defaultValue = 0,
     .column = 3,
     .values = kDownload},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Modo Operativo"),
     .frame = "Frame3",
     .position = 0,
     .defaultValue = 0,
     .column = 0,
     .values = kOperatingMode},
    {.caption = QT_TRANSLATE_NOOP("ParameterCatalogue", "Modo di Scarico"),
     .frame = "Frame7",
     .position = 0,
     .defaultValue = 0,
     .column = 1,
     .values = kFileMode},
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
    const QString text = translated(value.question);
    switch (value.warning) {
    case Warning::Speed:
        return text + QStringLiteral("\r\n") + translated(kSpeedWarning);
    case Warning::ClearsMemory:
        return text + QStringLiteral("\r\n") + translated(kClearsMemory);
    case Warning::None:
        break;
    }
    return text;
}

QString indicatorName(const ParameterGroup &group, const ParameterValue &value)
{
    return captionText(group) + QLatin1Char(' ') + captionText(value);
}

QString captionText(const ParameterGroup &group)
{
    return translated(group.caption);
}

QString captionText(const ParameterValue &value)
{
    return translated(value.caption);
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
