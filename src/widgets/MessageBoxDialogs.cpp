#include "MessageBoxDialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::StandardButton show(QMessageBox::Icon icon, const QString &title, const QString &text,
                                 QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, title, text, buttons, QApplication::activeWindow());
    // Enter confirms a question, as the operator is used to.
    if (buttons & QMessageBox::Yes)
        box.setDefaultButton(QMessageBox::Yes);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

bool MessageBoxDialogs::question(const QString &title, const QString &text)
{
    return show(QMessageBox::Critical, title, text, QMessageBox::Yes | QMessageBox::No) !=
           QMessageBox::No;
}

void MessageBoxDialogs::critical(const QString &title, const QString &text)
{
    show(QMessageBox::Critical, title, text, QMessageBox::Ok);
}

void MessageBoxDialogs::information(const QString &title, const QString &text)
{
    show(QMessageBox::Information, title, text, QMessageBox::Ok);
}

void MessageBoxDialogs::plain(const QString &title, const QString &text)
{
    show(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
}

void MessageBoxDialogs::beep()
{
    QApplication::beep();
}
