#pragma once
// Every operation that changes the budget through a dialog. Each returns true when it
// changed the budget and performs exactly the refreshes and saves that belong to it; the
// main window's tree-command cycle (refresh, then save, when true is returned) covers
// the rest for tree commands.

#include "model/items.h"

#include <QPoint>
#include <vector>

// The window calls each operation makes when it changes the budget, in order:
//   recordExpense        refreshTexts, rebuildTransactionList (then the tree cycle)
//   editTransaction      updateTransactionRow (rebuildTransactionList when the day changed),
//                        refreshTexts, saveBudget
//   deleteTransactions   rebuildTransactionList, refreshTexts, saveBudget
//   deposit/transfer/pay saveBudget, refreshTexts, rebuildTransactionList
//   fundEnvelope/Folder  nothing (the tree cycle)
//   addAccount           showItem for a charges folder or envelope it brings back, showItem
//                        (the account), saveBudget
//   editAccount          showItem or removeItem for the charges envelope's folder,
//                        repaintAccountList, refreshTexts, layoutWindow,
//                        rebuildTransactionList, saveBudget
//   addFolder            showItem, saveBudget
//   editFolder/Envelope  refreshTexts (then the tree cycle)
//   addEnvelope          showItem (then the tree cycle)
//   hideTreeItem         removeItem (then the tree cycle)
//   hideAccount          removeItem, saveBudget
//   unhideItem           showItem unless its folder is hidden, saveBudget
// A dialog's help text is in the information pane only while the dialog is open.

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
// Asks once, then reverses and removes them all.
bool deleteTransactions(Shell& shell, std::vector<Transaction*> transactions);

bool fundEnvelope(Shell& shell, AccountBase* selected);
bool fundFolder(Shell& shell, AccountGroup* folder);

bool addAccount(Shell& shell);
bool editAccount(Shell& shell, Account* account);
bool addFolder(Shell& shell);
bool editFolder(Shell& shell, AccountGroup* folder);
bool addEnvelope(Shell& shell, AccountGroup* folder);
// "New envelope..." in the import review: the "Envelope" dialog, the envelope made in the
// folder of besideEnvelope (else the first folder on screen); its id, or kNoId on cancel.
ItemId addEnvelopeForImport(Shell& shell, ItemId besideEnvelope);
bool editEnvelope(Shell& shell, AccountEnvelope* envelope);

// Schedules. Each saves and tells the window (schedulesChanged) when it changed the budget;
// makeSchedule leaves the save to its caller.
struct Schedule;
bool makeSchedule(Shell& shell, const Schedule& draft);
bool newSchedule(Shell& shell);
bool editSchedule(Shell& shell, std::size_t index);
// Records the schedule's next occurrence (after the edit dialog when edit), or passes it by.
bool enterScheduled(Shell& shell, std::size_t index, bool edit);
bool skipScheduled(Shell& shell, std::size_t index);

bool hideTreeItem(Shell& shell, AccountBase* item);
bool hideAccount(Shell& shell, Account* account);
// The "Unhide..." menu at a screen position; choosing an entry unhides it and saves.
void showUnhideMenu(Shell& shell, const QPoint& globalPos);
bool unhideItem(Shell& shell, AccountBase* item);
