// Process entry: one instance per executable, the outside-change watcher, loading the
// budget, the main window and its event loop. Nothing is saved on exit: every command has
// already saved its change.

#include "app/mainwindow.h"
#include "app/messageboxprompter.h"
#include "model/budget.h"
#include "platform/singleinstance.h"
#include "storage/budgetfile.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <cstdlib>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallykeep"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.23.88"));
    const QString executable = QCoreApplication::applicationFilePath();

    SingleInstance instance(executable);
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
    BudgetFile file(executable);
    MainWindow window(budget);
    window.setSaver([&file](const Budget& b, Prompter& prompter) { file.save(b, prompter); });
    window.setBudgetFilePath(file.workbookPath());
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

    const int status = file.load(budget);
    if (status != LoadOk && status != LoadWorkbookUnopenable) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                        QStringLiteral("Unable to load file"), QMessageBox::Ok, &window);
        box.exec();
        file.stopWatcher();
        return 0;
    }

    window.populate();
    // Column widths the user set and the window's last place and size.
    QSettings viewState(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("tallykeep"),
                        QStringLiteral("tallykeep"));
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
    file.stopWatcher();
    return code;
}
