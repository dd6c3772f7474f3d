// Hiding accounts, folders and envelopes, and bringing them back.

#include "app/operations.h"

#include "app/amountfield.h"
#include "app/commands.h"
#include "app/operations_logic.h"
#include "app/operations_unhide.h"
#include "app/shell.h"
#include "model/budget.h"
#include "model/prompter.h"

#include <QAction>
#include <QMenu>

namespace {
// Its money goes back to what is available for budgeting.
void hideEnvelope(AccountBase* envelope) {
    envelope->setHidden(true);
    envelope->adjustBalance(negatedAmount(envelope->getBalance()));
}
} // namespace

bool confirmHide(Shell& shell, AccountBase* item) {
    const HelpText help = hideHelp();
    HelpScope scope(shell, help.heading, help.body);
    if (!shell.prompter().askYesNo("Confirm Hide", hideQuestion(*item), PromptIcon::None))
        return false;
    scope.keep(); // the save that follows fills the pane anew
    return true;
}

bool hideTreeItem(Shell& shell, AccountBase* item) {
    if (!item || item->getType() == ItemType::Account)
        return false;
    if (!confirmHide(shell, item))
        return false;
    if (item->getType() == ItemType::Envelope) {
        hideEnvelope(item);
    } else {
        item->setHidden(true);
        for (AccountBase* child : static_cast<AccountGroup*>(item)->children())
            hideEnvelope(child);
        shell.budget().removeFromOrder(item);
    }
    shell.removeItem(item);
    return true;
}

bool hideAccount(Shell& shell, Account* account) {
    if (!account || !confirmHide(shell, account))
        return false;
    account->setHidden(true);
    account->setContributesToBudget(false);
    shell.budget().removeFromOrder(account);
    shell.removeItem(account);
    return true;
}

QMenu* buildUnhideMenu(const Budget& budget, QWidget* parent) {
    auto* menu = new QMenu(parent);
    const std::pair<const char*, ItemType> groups[] = {{"Accounts", ItemType::Account},
                                                       {"Folders", ItemType::Folder},
                                                       {"Envelopes", ItemType::Envelope}};
    for (const auto& [title, type] : groups) {
        QMenu* sub = menu->addMenu(title);
        for (const AccountBase* item : budget.itemsOfType(type)) {
            if (!item->isHidden())
                continue;
            QAction* action = sub->addAction(menuEntryText(item->getName()));
            action->setData(QVariant::fromValue<quint32>(item->id()));
        }
    }
    return menu;
}

std::function<QAction*(QMenu*, const QPoint&)> UnhideMenuDriver::choose;

void showUnhideMenu(Shell& shell, const QPoint& globalPos) {
    QMenu* menu = buildUnhideMenu(shell.budget(), shell.dialogParent());
    QAction* chosen = UnhideMenuDriver::choose ? UnhideMenuDriver::choose(menu, globalPos)
                                               : menu->exec(globalPos);
    const bool picked = chosen && chosen->data().isValid();
    const ItemId id = picked ? chosen->data().value<quint32>() : kNoId;
    delete menu;
    if (!picked)
        return;
    if (AccountBase* item = shell.budget().findItem(id))
        unhideItem(shell, item);
}

bool unhideItem(Shell& shell, AccountBase* item) {
    if (!item)
        return false;
    Budget& budget = shell.budget();
    item->setHidden(false);
    switch (item->getType()) {
    case ItemType::Envelope:
        if (AccountGroup* folder = item->getParent()) {
            if (folder->isHidden()) {
                const QString text = formatMessage(
                    "Item '%1' is now marked as unhidden, but its parent '%2' is hidden.\n",
                    {item->getName(), folder->getName()});
                shell.prompter().inform("Unide warning", text, PromptIcon::Exclamation);
            } else {
                shell.showItem(item);
            }
        }
        break;
    case ItemType::Folder:
        if (!item->getParent())
            budget.showTopLevel(item);
        shell.showItem(item);
        break;
    case ItemType::Account:
        budget.showTopLevel(item);
        shell.showItem(item);
        break;
    }
    return true;
}
