#include "mainwindow/Scarico.h"
#include "state/ProgramState.h"
#include "ui/Dialogs.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));

    MessageBoxDialogs dialogs;
    ProgramState state(QDir::current(), dialogs);
    Scarico window(state);
    // The exit command ends the process at once; no other screen gets a closing event.
    QObject::connect(&window, &Scarico::exitConfirmed, &app, &QApplication::quit);
    window.Form_Load();
    window.show();
    return app.exec();
}
