#pragma once
// Every operation that changes the budget through a dialog. Each returns true when it
// changed the budget and performs exactly the refreshes and saves that belong to it; the
// main window's tree-command cycle (refresh, then save, when true is returned) covers
// the rest for tree commands.

#include <QPoint>

class Shell;
class Account;
class AccountBase;
class AccountGroup;
class AccountEnvelope;
struct Transaction;

bool recordExpense(Shell& shell, AccountBase* selected);
bool editTransaction(Shell& shell, Transaction* t); // dispatches by type
bool recordDeposit(Shell& shell, Account* account);
bool recordTransfer(Shell& shell, Account* account);
bool payCreditCard(Shell& shell, Account* card);

bool fundEnvelope(Shell& shell, AccountBase* selected);
bool fundFolder(Shell& shell, AccountGroup* folder);

bool addAccount(Shell& shell);
bool editAccount(Shell& shell, Account* account);
bool addFolder(Shell& shell);
bool editFolder(Shell& shell, AccountGroup* folder);
bool addEnvelope(Shell& shell, AccountGroup* folder);
bool editEnvelope(Shell& shell, AccountEnvelope* envelope);

bool hideTreeItem(Shell& shell, AccountBase* item);
bool hideAccount(Shell& shell, Account* account);
// The "Unhide..." menu at a screen position; choosing an entry unhides it and saves.
void showUnhideMenu(Shell& shell, const QPoint& globalPos);
bool unhideItem(Shell& shell, AccountBase* item);
