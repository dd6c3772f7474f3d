#pragma once
// What the budget operations need from the main window. The window implements it; tests
// use a fake that records the calls in order.

#include "platform/richtext.h"

class QWidget;
class Budget;
class Prompter;
class AccountBase;
struct Transaction;

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

    // Account names and balances, tree labels, repaint.
    virtual void refreshTexts() = 0;
    // The whole-budget save; also rebuilds the "State of the Budget" report.
    virtual void saveBudget() = 0;
    virtual void rebuildTransactionList() = 0;
    virtual void updateTransactionRow(const Transaction* t) = 0;
    virtual void layoutWindow() = 0;
    virtual void repaintAccountList() = 0;

    // The views follow the budget's display orders and folder children. showItem puts a
    // newly visible item on screen at its place there (an account at the end of the list,
    // a folder just above "Add folder", an envelope last in its folder); removeItem takes
    // an item (and a folder's envelopes) off the screen.
    // The schedules changed: the upcoming list and the envelopes' due texts follow.
    virtual void schedulesChanged() {}

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
    // The pane is left as it is (the save that follows fills it anew).
    void keep() { active_ = false; }
    HelpScope(const HelpScope&) = delete;
    HelpScope& operator=(const HelpScope&) = delete;

private:
    Shell& shell_;
    bool active_ = true;
};
