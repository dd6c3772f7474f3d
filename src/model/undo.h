#pragma once
// Undo and redo of whole commands. A step keeps before-images of just what its command
// touched: the items whose fields changed, the display orders and rules if they changed,
// and a journal of the changes to the transaction list. Undoing a step swaps those
// images with the budget, so the same step then holds what a redo puts back.

#include "model/items.h"
#include "model/mappingrules.h"
#include "model/transaction.h"

#include <QString>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

class Budget;

// What a closed step changed, for the window to show and save. Empty when nothing changed
// (then no step is kept).
struct ChangeReport {
    bool items = false;     // an item's fields, id or folder contents changed, or an item came
    bool accounts = false;  // ... and an account is among them
    bool orders = false;    // the display order of accounts or folders
    bool rules = false;     // the payee mapping rules
    bool schedules = false; // the scheduled transactions
    bool ids = false;       // only the id allocator moved
    // Transactions recorded, removed or moved in the list.
    bool transactionList = false;
    // Transactions whose values changed where they are (they may have moved as well).
    std::vector<const Transaction*> editedTransactions;

    bool any() const {
        return items || orders || rules || schedules || ids || transactionList ||
               !editedTransactions.empty();
    }
    explicit operator bool() const { return any(); }
};

class UndoHistory {
public:
    // The history watches the budget's transaction list until it is destroyed; it must not
    // outlive the budget.
    explicit UndoHistory(Budget& budget, int capacity = 100);
    ~UndoHistory();
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;

    // Opens a step; a begin inside an open step joins it.
    void begin();
    // Closes the step begun last. When the outermost step changed the budget it is kept
    // under the given name (the redo steps are dropped) and what it changed is returned;
    // an inner step, or one that changed nothing, returns an empty report.
    ChangeReport end(const QString& name);
    bool stepOpen() const { return depth_ > 0; }

    bool canUndo() const { return !stepOpen() && done_ > 0; }
    bool canRedo() const { return !stepOpen() && done_ < steps_.size(); }
    QString undoName() const;
    QString redoName() const;
    bool undo();
    bool redo();
    void clear();
    int undoCount() const { return int(done_); }

private:
    friend class Budget;
    struct ItemImage;
    struct TransactionChange;
    struct Step;

    // Reports from the budget's transaction list.
    void transactionInserted(std::size_t index);
    void transactionRemoved(std::size_t index, std::unique_ptr<Transaction> t);
    void transactionMoved(std::size_t from, std::size_t to);
    // before: the order of the list from index `first` on before it was sorted.
    void transactionsSorted(std::vector<Transaction*> before, std::size_t first);
    void transactionWillChange(const Transaction& t);
    // A change outside any step makes the kept indexes meaningless.
    bool recording();

    ItemImage capture(AccountBase* item) const;
    void swapItems(Step& step);
    void toggle(Step& step, bool undoing);

    Budget& budget_;
    std::size_t capacity_;
    std::deque<std::unique_ptr<Step>> steps_; // oldest first
    std::size_t done_ = 0;                    // steps_[0, done_) can be undone
    int depth_ = 0;
    std::unique_ptr<Step> open_;
    std::vector<ItemImage> snapshot_; // every registered item as the open step began
    std::unordered_set<const Transaction*> noted_;
    bool replaying_ = false;
};
