#pragma once
// The pieces of the hide and unhide commands that the window and tests reach directly.

#include <QPoint>
#include <functional>

class AccountBase;
class Budget;
class QAction;
class QMenu;
class QWidget;
class Shell;

// "Confirm Hide" with its help text; true for Yes.
bool confirmHide(Shell& shell, AccountBase* item);

// The unhide menu: "Accounts", "Folders", "Envelopes" submenus listing hidden items in
// ascending id order; each action's data is the item id. The caller owns the menu.
QMenu* buildUnhideMenu(const Budget& budget, QWidget* parent);

// Tests choose an entry of the unhide menu in place of a user (nullptr: no choice).
struct UnhideMenuDriver {
    static std::function<QAction*(QMenu*, const QPoint&)> choose;
};
