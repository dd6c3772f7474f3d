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

    // Transactions, oldest first after loads and imports; hand-recorded ones are appended.
    const std::vector<std::unique_ptr<Transaction>>& transactions() const { return transactions_; }
    Transaction* appendTransaction(std::unique_ptr<Transaction> t);
    void sortTransactionsByTime();
    // Moves t behind every other transaction of the same or an earlier time (after a new
    // one got an earlier day, or an edit changed its day).
    void placeByTime(const Transaction* t);
    // Takes t out of the history and destroys it (or hands it to the open undo step).
    bool removeTransaction(const Transaction* t);
    // Call before changing a stored transaction's fields, so an undo can put them back.
    void noteTransactionChange(const Transaction* t);
    std::size_t indexOfTransaction(const Transaction* t) const; // size() when absent

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

    // Scheduled transactions, in the order the user made them.
    std::vector<Schedule>& schedules() { return schedules_; }
    const std::vector<Schedule>& schedules() const { return schedules_; }

private:
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
