#pragma once
// The one in-memory budget: owns every item and transaction, hands out ids, keeps the
// display orders of accounts and top-level folders, and the import mapping rules.

#include "model/items.h"
#include "model/mappingrules.h"
#include "model/schedule.h"
#include "model/transaction.h"

#include <map>
#include <memory>
#include <vector>

class UndoHistory;

// One account side of a transaction of the budget and the cleared state it is to get.
struct ClearedChange {
    const Transaction* t = nullptr;
    ItemId account = kNoId;
    ClearedState state = ClearedState::Uncleared;
};

class Budget {
    friend class UndoHistory; // puts back the display orders, rules and id allocator

public:
    Budget();
    ~Budget();
    Budget(const Budget&) = delete;
    Budget& operator=(const Budget&) = delete;

    // Factories: the item takes the next id and is registered; defaults as constructed.
    Account* createAccount();
    AccountGroup* createFolder();
    AccountEnvelope* createEnvelope();

    // Id registry.
    ItemId allocateId();
    void registerItem(AccountBase* item);
    void unregisterItem(ItemId id);
    AccountBase* findItem(ItemId id) const;
    Account* findAccount(ItemId id) const; // none when the id is another kind
    AccountGroup* findFolder(ItemId id) const;
    AccountEnvelope* findEnvelope(ItemId id) const;
    std::vector<AccountBase*> itemsOfType(ItemType type) const; // ascending id, hidden too
    const std::map<ItemId, AccountBase*>& registry() const { return registry_; }

    // Legacy loading: ids come from the file, so the allocator is switched off meanwhile.
    void suspendIdAllocation();
    // Next id = largest registered id (reserved ones aside) + 1.
    void resumeIdAllocationAfterLegacyLoad();

    // Money totals, recomputed on every call.
    Amount inBudgetTotal() const;
    Amount assignedTotal() const;
    Amount availableForBudgeting() const;

    // Transactions, oldest first (by time; among equal times, in the order they came).
    // Readers get them const: they change only through the ledger below.
    TransactionRange transactions() const { return TransactionRange(transactions_); }
    std::size_t indexOfTransaction(const Transaction* t) const; // size() when absent
    bool containsTransaction(const Transaction* t) const {
        return indexOfTransaction(t) < transactions_.size();
    }

    // The ledger: the only ways a transaction of the budget is recorded, edited or removed.
    // Each moves the balances (applyTransaction), keeps the list in time order and tells the
    // open undo step, so none of the three can be forgotten.
    //
    // Records t behind every transaction of the same or an earlier time.
    const Transaction* recordTransaction(Transaction t);
    // Records a batch (an import, the due scheduled transactions): each goes behind every
    // transaction of the same or an earlier time, those of the batch in the given order.
    void recordTransactions(std::vector<Transaction> batch);
    // Gives t the values of changed: its old effect on the balances is reversed, the new
    // one applied, and it moves to its place when its time changed. False when t is not in
    // the budget.
    bool editTransaction(const Transaction* t, const Transaction& changed);
    // Reverses t's effect on the balances and takes it out (an open undo step keeps it).
    // False when t is not in the budget.
    bool removeTransaction(const Transaction* t);
    // Gives account sides their cleared state (balances do not move); changes naming a
    // transaction not in the budget, or an account it does not touch, are passed over.
    // Returns how many sides changed.
    std::size_t setClearedStates(const std::vector<ClearedChange>& changes);
    // Loading and copying: appends t as stored; the stored balances already hold its effect.
    const Transaction* loadTransaction(Transaction t);
    // Puts the whole list in time order, keeping the order of equal times (after a load).
    void sortTransactionsByTime();

    // Display orders (visible items only). The window follows these.
    std::vector<Account*>& accountOrder() { return accountOrder_; }
    const std::vector<Account*>& accountOrder() const { return accountOrder_; }
    std::vector<AccountGroup*>& folderOrder() { return folderOrder_; }
    const std::vector<AccountGroup*>& folderOrder() const { return folderOrder_; }
    // Appends a visible account or top-level folder to its order if not already there.
    void showTopLevel(AccountBase* item);
    // The same for many items in turn (a load), in time linear in their number.
    void showTopLevel(const std::vector<AccountBase*>& items);
    // Takes an account or folder out of its order (when it is hidden).
    void removeFromOrder(AccountBase* item);

    // Makes this budget a copy of source (items under the same ids, orders, rules,
    // transactions). The items it had leave the registry but stay owned, so an open undo
    // step can bring them back.
    void replaceWith(const Budget& source);

    // Visible accounts, visible top-level folders, hidden accounts, hidden folders.
    std::vector<AccountBase*> topLevelItemsForSave() const;
    void normaliseAfterLoad();

    MappingRuleSet& rules() { return rules_; }
    const MappingRuleSet& rules() const { return rules_; }

    // Takes an item made during the open command back out of the budget (its folder lets go
    // of it, the registry forgets it, and its id is handed out again when it was the last
    // one given), as if it had never been made. It stays owned, like an undone one.
    void discardNewItem(AccountBase* item);
    // Scheduled transactions, in the order the user made them.
    std::vector<Schedule>& schedules() { return schedules_; }
    const std::vector<Schedule>& schedules() const { return schedules_; }

private:
    Transaction* append(std::unique_ptr<Transaction> t);
    // Moves t behind every other transaction of the same or an earlier time.
    void placeByTime(const Transaction* t);
    // Takes t out of the list without touching the balances.
    void takeOut(std::size_t index);

    std::vector<std::unique_ptr<AccountBase>> owned_;
    std::map<ItemId, AccountBase*> registry_;
    ItemId nextId_ = 0;
    std::vector<std::unique_ptr<Transaction>> transactions_;
    std::vector<Account*> accountOrder_;
    std::vector<AccountGroup*> folderOrder_;
    MappingRuleSet rules_;
    std::vector<Schedule> schedules_;
    UndoHistory* history_ = nullptr; // told about every change to the transaction list
};
