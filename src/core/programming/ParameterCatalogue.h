#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <span>

// Lines that follow a question: the line speed lost to this program, or the memory erased.
enum class Warning { None, Speed, ClearsMemory };

// One value of a terminal parameter: the button that selects it, the one-character code
// the button sends, the check box that shows it, and how the status line reports it.
struct ParameterValue {
    const char *caption;             // button caption (UTF-8), untranslated
    const char *button;              // object name of the button
    char code;                       // command code that selects the value
    const char *indicator = nullptr; // object name of its check box
    char report = 0;                 // status character that marks the value; 0: none
    int reportPosition = 0;          // where that character stands when not at the group's position
    const char *question = nullptr;  // confirmation lines, joined by CR LF
    Warning warning = Warning::None; // lines the question ends with
    const char *alsoClears = nullptr; // an indicator of another group this value clears
};

// One frame of the programming screen.
struct ParameterGroup {
    const char *caption;
    const char *frame; // object name of the frame
    int position;      // status position reporting it; 0: not reported
    int defaultValue;  // shown when nothing matches, and set by "Ripristina Default"
    int column;        // where the screen stacks the frame; unreported groups go below
    std::span<const ParameterValue> values;

    bool reported() const { return position > 0; }
};

// Every group, in screen order: column by column, top to bottom, the unreported ones last.
std::span<const ParameterGroup> parameterGroups();
// "Ripristina Default": not a value of any group, it resets them all.
const ParameterValue &restoreDefaults();
const ParameterGroup *groupOf(const ParameterValue &value);

// The question shown before the value is sent, exactly as the operator reads it.
QString questionText(const ParameterValue &value);
// A frame's or a button's caption in the operator's language.
QString captionText(const ParameterGroup &group);
QString captionText(const ParameterValue &value);
// "BAUD rate 19200": what a screen reader says for the value's check box.
QString indicatorName(const ParameterGroup &group, const ParameterValue &value);

// Indicator object name -> set.
using IndicatorStates = QMap<QString, bool>;

// The indicators of every reported group as the status line sets them: exactly one per
// group. Matching is exact (case-sensitive); a value reported at its own position wins over
// the group's position; a line too short to reach a position leaves the default. The
// unreported groups are not part of the result.
IndicatorStates decodeConfigString(const QByteArray &configString);

// What a sent value changes: its own indicator set, the rest of its group cleared, and the
// further indicator it clears. For restoreDefaults(): every indicator, set to the defaults.
IndicatorStates indicatorUpdate(const ParameterValue &value);
