#pragma once
// Every operation that changes the budget through a dialog. Each returns true when the user
// went through with it. None refreshes or saves: the window runs each as one undo step and
// shows and saves what the step changed. Items that appear or go are placed on screen
// through Shell::showItem and Shell::removeItem:
//   addAccount           showItem for a charges folder or envelope it brings back, showItem
//                        (the account)
//   editAccount          showItem or removeItem for the charges envelope's folder
//   addFolder, addEnvelope  showItem
//   hideTreeItem, hideAccount  removeItem
//   unhideItem           showItem unless its folder is hidden
// A dialog's help text is in the information pane only while the dialog is open.

#include "model/items.h"

#include <QPoint>
#include <vector>

class Shell;
class Account;
class AccountBase;
class AccountGroup;
class AccountEnvelope;
struct Transaction;

bool recordExpense(Shell& shell, AccountBase* selected);
bool editTransaction(Shell& shell, const Transaction* t); // dispatches by type
// The same dialog for a transaction not recorded yet: OK leaves the edited values in draft
// and records nothing.
bool editDraft(Shell& shell, Transaction& draft);
// "Split transaction...": divides an expense (or changes the parts of its split payment).
bool splitTransaction(Shell& shell, const Transaction* t);
bool recordDeposit(Shell& shell, Account* account);
bool recordTransfer(Shell& shell, Account* account);
bool payCreditCard(Shell& shell, Account* card);
// "Reconcile...": the statement's date and ending balance, the transactions it holds ticked,
// then finishing marks them reconciled (with an adjustment for a difference, after a question).
bool reconcileAccount(Shell& shell, Account* account);
// Asks once, then reverses and removes them all (a split part takes its whole payment).
bool deleteTransactions(Shell& shell, std::vector<const Transaction*> transactions);

bool fundEnvelope(Shell& shell, AccountBase* selected);
// "Move money...": from the given envelope (or one chosen in the dialog) to another.
bool moveMoneyFrom(Shell& shell, AccountEnvelope* from);
// The account a statement is imported into, asked for when the command names none;
// nullptr on cancel or when there is no account.
Account* chooseImportAccount(Shell& shell);
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

// Schedules. Like every command they neither refresh nor save: the step's report does.
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
