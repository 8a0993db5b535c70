#pragma once

#include <QFrame>
#include <QLabel>
#include <QString>

#include <utility>

// A control of the given kind carrying the object name that tests and outside tools find it
// by; the remaining arguments go to its constructor, before the parent.
template <typename T, typename... Args> T *named(const char *name, QWidget *parent, Args &&...args)
{
    auto *control = new T(std::forward<Args>(args)..., parent);
    control->setObjectName(QLatin1String(name));
    return control;
}

// A panel, raised unless told otherwise, that only groups other controls.
inline QFrame *makePanel(const char *name, QWidget *parent, QFrame::Shadow shadow = QFrame::Raised)
{
    auto *panel = named<QFrame>(name, parent);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(shadow);
    return panel;
}

// Shows a value in a label whose accessible name says what it is. A name set in code
// replaces the text for a screen reader, so the name carries the value too ("Data terminale
// 25-03") and follows it.
inline void showNamedValue(QLabel *label, const QString &name, const QString &value)
{
    label->setText(value);
    label->setAccessibleName(value.isEmpty() ? name : name + QLatin1Char(' ') + value);
}

// The flat grey buttons of the main window and the polling screen, as a style sheet rule.
inline QString flatButtonStyle(const QString &padding)
{
    return QStringLiteral("QPushButton { background-color: #d4d4d4; border: 1px solid #808080; "
                          "border-radius: 2px; padding: %1; }\n"
                          "QPushButton:pressed { background-color: #b8b8b8; }\n"
                          "QPushButton:disabled { color: #8a8a8a; }")
        .arg(padding);
}
