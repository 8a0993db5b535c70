#include "core/state/ProgramState.h"
#include "core/state/WorkingFolder.h"
#include "widgets/Language.h"
#include "widgets/MainWindow.h"
#include "widgets/MessageBoxDialogs.h"
#include "widgets/ProgramIcon.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>

#include <cstring>

namespace {

struct CommandLine {
    QCommandLineParser parser;
    QCommandLineOption userFolder{
        QStringLiteral("user-folder"),
        QStringLiteral("Work in ~/%1, made when missing (the desktop menu starts it so).")
            .arg(QLatin1String(workingfolder::kUserFolderName))};

    CommandLine()
    {
        parser.setApplicationDescription(QStringLiteral(
            "Reads, polls and programs a barcode data terminal on a serial port.\n"
            "Keeps portacom and kx7p.cfg, and writes the poll files (dd-mm-yy.pol),\n"
            "in the working directory."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(userFolder);
    }
};

// Help and version are text on the console and must work without a display.
bool wantsTextOnly(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "-?", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    if (wantsTextOnly(argc, argv)) {
        QCoreApplication console(argc, argv);
        CommandLine().parser.process(console); // prints and exits
        return 0;
    }

    QApplication app(argc, argv);
    language::speak(language::ofOperator(QLocale::system().uiLanguages()));
    QApplication::setDesktopFileName(QStringLiteral("corvane"));
    QApplication::setWindowIcon(programIcon());
    CommandLine commandLine;
    commandLine.parser.process(app);

    MessageBoxDialogs dialogs;
    if (commandLine.parser.isSet(commandLine.userFolder)) {
        const QString folder = workingfolder::ensureUserFolder(QDir::homePath());
        if (folder.isEmpty() || !QDir::setCurrent(folder)) {
            dialogs.critical(kMainTitle, QCoreApplication::translate(
                                             "main", "Impossibile creare la cartella dei dati %1")
                                             .arg(workingfolder::userFolderPath(QDir::homePath())));
            return 1;
        }
    }

    ProgramState state(QDir::current(), dialogs);
    MainWindow window(state);
    // The exit command ends the process at once; no other screen gets a closing event.
    QObject::connect(&window, &MainWindow::exitConfirmed, &app, &QApplication::quit);
    window.Form_Load();
    window.show();
    return app.exec();
}
