#pragma once
// The command table: every menu entry, action icon and double-click ends up here as a
// Command with the item (or transaction) it concerns.

#include "model/items.h"

#include <QString>
#include <QVariant>
#include <vector>

class Shell;
class QAction;
struct Transaction;

// Numbered after the program's historical command numbers. The three move commands carry
// their target item in the request (never encoded in the number).
enum class Command : int {
    None = 0,
    About = 104,
    Exit = 105,
    EditFolder = 32772,
    AddEnvelope = 32778,
    RecordExpense = 32785,
    EditTransaction = 32787,
    MoveToGroup = 32800,
    AddAccount = 33016,
    AddFolder = 33017,
    EditAccount = 33018,
    FundEnvelope = 33019,
    EditEnvelope = 33020,
    PayCreditCard = 33022,
    Transfer = 33023,
    Deposit = 33024,
    FundFolder = 33025,
    Hide = 33026,
    HideAccount = 33028,
    ImportTransactions = 33030,
    MoveAfter = 33100,
    MoveBefore = 33501,
    Print = 33901,
    // Added after the historical numbers.
    DeleteTransaction = 34001,
    Undo = 34002,
    Redo = 34003,
    RestoreBackup = 34004,
    MoveMoney = 34005,
    // Schedules: the request's target is the schedule's place in the budget's list.
    NewSchedule = 34006,
    EditSchedule = 34007,
    EnterScheduled = 34008,
    SkipScheduled = 34009,
    EditThenEnterScheduled = 34010,
    Reconcile = 34020,
    SplitTransaction = 34011,
};

struct CommandRequest {
    Command command = Command::None;
    AccountBase* item = nullptr; // the row's folder, envelope or account
    const Transaction* transaction = nullptr;
    ItemId target = kNoId;                          // the move target (folder or sibling)
    std::vector<const Transaction*> transactions{}; // the selected rows (delete)
};

// Menu text of a fixed command (without accelerator suffix).
QString commandText(Command command);

// What an undo step of the command is called ("Record expense" for "Record expense...").
QString stepName(Command command);

// Calls the operation that carries a budget command out; true when the user went through
// with it (the window learns what changed from the undo step).
// Window-level commands (About, Exit, Print, moves) are not handled here.
bool performOperation(Shell& shell, const CommandRequest& request);

// A menu action carries its command and target in its data.
void setActionCommand(QAction* action, Command command, ItemId target = kNoId);
Command actionCommand(const QAction* action);
ItemId actionTarget(const QAction* action);

// A name as a menu entry's text: "&" stays a plain "&" instead of marking a shortcut.
QString menuEntryText(const QString& name);

class QKeyEvent;
// The Menu key or Shift+F10: open the context menu of the focused row.
bool isContextMenuKey(const QKeyEvent* event);
