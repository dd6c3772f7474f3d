#pragma once
// What the budget operations need from the main window: the budget, questions, a parent for
// dialogs, the help pane, and the placement of items that appear or go. The window
// implements it; tests use a fake that records the calls.
//
// Operations neither refresh nor save: each command runs as one undo step, and when the step
// closes the window refreshes its views from what the step reports changed and saves, in
// one place (MainWindow::showChanges).

#include "platform/richtext.h"

class QWidget;
class Budget;
class Prompter;
class AccountBase;

class Shell {
public:
    virtual ~Shell() = default;

    virtual Budget& budget() = 0;
    virtual QWidget* dialogParent() = 0;
    virtual Prompter& prompter() = 0;

    // Information pane: a dialog's heading and body in the "consolas" face while it is
    // open; restoreHelp() puts the previous content back.
    virtual void showHelp(const QString& heading, const QStringList& body) = 0;
    virtual void restoreHelp() = 0;

    // The views follow the budget's display orders and folder children. showItem puts a
    // newly visible item on screen at its place there (an account at the end of the list,
    // a folder just above "Add folder", an envelope last in its folder); removeItem takes
    // an item (and a folder's envelopes) off the screen.
    virtual void showItem(AccountBase* item) = 0;
    virtual void removeItem(AccountBase* item) = 0;
};

// Shows a dialog's help text for as long as it lives.
class HelpScope {
public:
    HelpScope(Shell& shell, const QString& heading, const QStringList& body) : shell_(shell) {
        shell_.showHelp(heading, body);
    }
    ~HelpScope() {
        if (active_)
            shell_.restoreHelp();
    }
    // The pane is left as it is (the save that follows the command fills it anew).
    void keep() { active_ = false; }
    HelpScope(const HelpScope&) = delete;
    HelpScope& operator=(const HelpScope&) = delete;

private:
    Shell& shell_;
    bool active_ = true;
};
