// Process entry: the command line, which budget to open, one instance per budget file, the
// outside-change watcher, loading the budget, the main window and its event loop. Nothing is
// saved on exit: every command has already saved its change, and exit waits for a save
// still being written.

#include "app/mainwindow.h"
#include "app/messageboxprompter.h"
#include "gui/importreview.h"
#include "model/budget.h"
#include "model/version.h"
#include "storage/budgetfile.h"
#include "storage/budgetlocation.h"
#include "storage/singleinstance.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

void describeCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Envelope budgeting: divide your money into envelopes and keep track of "
                       "what is left to spend."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("budget"),
        QStringLiteral("The budget workbook to open; it is created at the first change if it "
                       "does not exist. Without it: tallykeep.xlsx beside the program when you "
                       "may write there, else $XDG_DATA_HOME/tallykeep/tallykeep.xlsx "
                       "(~/.local/share/tallykeep/tallykeep.xlsx)."),
        QStringLiteral("[BUDGET.xlsx]"));
}

int commandLineError(const QString& text) {
    std::fprintf(stderr, "tallykeep: %s\nTry 'tallykeep --help'.\n", qPrintable(text));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("Tallykeep"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLYKEEP_VERSION));
    {
        // --help and --version answer in a terminal without a display.
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        QCommandLineParser parser;
        describeCommandLine(parser);
        parser.parse(arguments);
        if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")) ||
            parser.isSet(QStringLiteral("version"))) {
            QCoreApplication text(argc, argv);
            parser.process(text); // prints and ends the process
        }
    }

    QApplication app(argc, argv);
    // Desktops find the window's icon and name through the installed desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("tallykeep"));
    QCommandLineParser parser;
    describeCommandLine(parser);
    parser.process(app); // an unknown option is reported and ends the process
    const QStringList given = parser.positionalArguments();
    if (given.size() > 1)
        return commandLineError(QStringLiteral("open one budget at a time."));
    const QString budgetPath =
        chooseBudgetPath(given.value(0), QCoreApplication::applicationFilePath());
    const QFileInfo budgetInfo(budgetPath);
    if (budgetInfo.isDir())
        return commandLineError(
            QStringLiteral("%1 is a folder, not a budget file.").arg(budgetPath));
    if (!budgetInfo.dir().exists()) {
        if (!given.isEmpty())
            return commandLineError(
                QStringLiteral("the folder %1 does not exist.").arg(budgetInfo.absolutePath()));
        // The per-user data folder is made on first use, readable by its owner only.
        if (QDir().mkpath(budgetInfo.absolutePath()))
            QFile::setPermissions(budgetInfo.absolutePath(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    SingleInstance instance(budgetIdentity(budgetPath));
    if (!instance.tryAcquire()) {
        // Without the lock a second instance could save over this one's changes.
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Already running"),
                        QStringLiteral("An instance of Tallykeep is already running"),
                        QMessageBox::Ok);
        if (!instance.heldElsewhere()) {
            box.setWindowTitle(QStringLiteral("Error"));
            box.setText(QStringLiteral("Tallykeep cannot make sure that it runs only once: its "
                                       "lock file failed (%1).")
                            .arg(instance.failureText()));
        }
        box.exec();
        return 0;
    }

    Budget budget;
    BudgetFile file(BudgetPath{budgetPath});
    MainWindow window(budget);
    // Saves are written on a worker thread; the window only waits for the snapshot.
    window.setSaver(
        [&file](const Budget& b, Prompter& prompter) { file.saveInBackground(b, prompter); });
    window.setBudgetFilePath(file.workbookPath());
    window.setSaveWaiter([&file] { file.waitForSaves(); });
    QPointer<MainWindow> owner(&window);

    // The watcher starts before loading, so its baseline is the file as found now. Its
    // callback runs on the watcher's thread and hands the news to the UI thread.
    file.startWatcher([&app, &file, owner] {
        QMetaObject::invokeMethod(
            &app,
            [&file, owner] {
                file.setOutsideChangeReported(true); // no save may follow from here on
                QMessageBox box(QMessageBox::Warning, QStringLiteral("External file modification"),
                                QStringLiteral("The budget file has been modified outside of "
                                               "this instance of Tallykeep. This instance of "
                                               "Tallykeep will exit."),
                                QMessageBox::Ok, owner.data());
                box.exec();
                file.stopWatcher();
                // End at once: dialogs still open must not carry on with their commands.
                std::_Exit(0);
            },
            Qt::QueuedConnection);
    });

    int status = LoadOk;
    try {
        status = file.load(budget);
    } catch (const std::bad_alloc&) {
        // What was read so far is incomplete: nothing may be shown or saved from it.
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                        QStringLiteral("There is not enough memory to open the budget file. "
                                       "Tallykeep will exit; the file is left as it is."),
                        QMessageBox::Ok, &window);
        box.exec();
        file.stopWatcher();
        return 1;
    }
    if (status != LoadOk && status != LoadWorkbookUnopenable) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                        QStringLiteral("Unable to load file"), QMessageBox::Ok, &window);
        box.exec();
        file.stopWatcher();
        return 0;
    }

    window.populate();
    window.startSchedules();
    // Column widths the user set and the window's last place and size.
    QSettings viewState(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("tallykeep"),
                        QStringLiteral("tallykeep"));
    ImportReviewDialog::rememberLayoutIn(viewState.fileName());
    if (window.restoreViewState(viewState)) {
        window.show();
    } else {
        // The normal size covers the screen too, so the window is full-size even where
        // nothing honours the request to maximise it.
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            window.setGeometry(screen->availableGeometry());
        window.showMaximized();
    }
    const QString notice = file.takeNotice();
    if (!notice.isEmpty())
        window.prompter().inform(QStringLiteral("Tallykeep"), notice, PromptIcon::Information);

    const int code = app.exec();
    window.saveViewState(viewState);
    // The last change must be on disk, whole, before the process ends.
    file.waitForSaves();
    file.stopWatcher();
    return code;
}
