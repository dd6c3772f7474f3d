#include "model/budget.h"

#include "model/undo.h"

#include <algorithm>
#include <unordered_set>

Budget::Budget() = default;

Budget::~Budget() {
    // Items unregister themselves when destroyed; the registry must not outlive that.
    registry_.clear();
    owned_.clear();
}

Account* Budget::createAccount() {
    auto item = std::make_unique<Account>(*this);
    Account* raw = item.get();
    owned_.push_back(std::move(item));
    return raw;
}

AccountGroup* Budget::createFolder() {
    auto item = std::make_unique<AccountGroup>(*this);
    AccountGroup* raw = item.get();
    owned_.push_back(std::move(item));
    return raw;
}

AccountEnvelope* Budget::createEnvelope() {
    auto item = std::make_unique<AccountEnvelope>(*this);
    AccountEnvelope* raw = item.get();
    owned_.push_back(std::move(item));
    return raw;
}

ItemId Budget::allocateId() {
    if (nextId_ == kNoId)
        return kNoId;
    if (nextId_ == kChargesEnvelopeId)
        ++nextId_; // reserved; after it comes kNoId, so allocation ends there
    if (nextId_ == kNoId)
        return kNoId;
    return nextId_++;
}

void Budget::registerItem(AccountBase* item) {
    if (item)
        registry_[item->id()] = item;
}

void Budget::unregisterItem(ItemId id) {
    registry_.erase(id);
}

AccountBase* Budget::findItem(ItemId id) const {
    if (id == kNoId)
        return nullptr;
    auto it = registry_.find(id);
    return it == registry_.end() ? nullptr : it->second;
}

Account* Budget::findAccount(ItemId id) const {
    AccountBase* item = findItem(id);
    return item && item->getType() == ItemType::Account ? static_cast<Account*>(item) : nullptr;
}

AccountGroup* Budget::findFolder(ItemId id) const {
    AccountBase* item = findItem(id);
    return item && item->getType() == ItemType::Folder ? static_cast<AccountGroup*>(item) : nullptr;
}

AccountEnvelope* Budget::findEnvelope(ItemId id) const {
    AccountBase* item = findItem(id);
    return item && item->getType() == ItemType::Envelope ? static_cast<AccountEnvelope*>(item)
                                                         : nullptr;
}

std::vector<AccountBase*> Budget::itemsOfType(ItemType type) const {
    std::vector<AccountBase*> result;
    for (const auto& [id, item] : registry_) {
        if (item->getType() == type)
            result.push_back(item);
    }
    return result;
}

void Budget::suspendIdAllocation() {
    nextId_ = kNoId;
}

void Budget::resumeIdAllocationAfterLegacyLoad() {
    ItemId largest = 0;
    bool any = false;
    for (const auto& [id, item] : registry_) {
        if (id == kChargesEnvelopeId || id == kNoId)
            continue;
        largest = std::max(largest, id);
        any = true;
    }
    nextId_ = any ? largest + 1 : 1;
}

Amount Budget::inBudgetTotal() const {
    std::int64_t sum = 0;
    for (const auto& [id, item] : registry_) {
        if (item->getType() == ItemType::Account &&
            static_cast<const Account*>(item)->contributesToBudget())
            sum += item->getBalance();
    }
    return clampAmount(sum);
}

Amount Budget::assignedTotal() const {
    std::int64_t sum = 0;
    for (const auto& [id, item] : registry_) {
        if (item->getType() == ItemType::Envelope) {
            const std::int64_t balance = item->getBalance();
            sum += balance < 0 ? -balance : balance;
        }
    }
    return clampAmount(sum);
}

Amount Budget::availableForBudgeting() const {
    return clampAmount(std::int64_t(inBudgetTotal()) - assignedTotal());
}

Transaction* Budget::appendTransaction(std::unique_ptr<Transaction> t) {
    Transaction* raw = t.get();
    transactions_.push_back(std::move(t));
    if (history_)
        history_->transactionInserted(transactions_.size() - 1);
    return raw;
}

std::size_t Budget::indexOfTransaction(const Transaction* t) const {
    // Recent transactions are the ones edited and deleted most, so search from the end.
    for (std::size_t i = transactions_.size(); i-- > 0;) {
        if (transactions_[i].get() == t)
            return i;
    }
    return transactions_.size();
}

void Budget::placeByTime(const Transaction* t) {
    const std::size_t from = indexOfTransaction(t);
    if (from == transactions_.size())
        return;
    std::unique_ptr<Transaction> moving = std::move(transactions_[from]);
    transactions_.erase(transactions_.begin() + std::ptrdiff_t(from));
    const double key = toSerialDay(moving->transactionTime);
    auto at = std::upper_bound(transactions_.begin(), transactions_.end(), key,
                               [](double k, const std::unique_ptr<Transaction>& other) {
                                   return k < toSerialDay(other->transactionTime);
                               });
    const std::size_t to = std::size_t(at - transactions_.begin());
    transactions_.insert(at, std::move(moving));
    if (history_ && to != from)
        history_->transactionMoved(from, to);
}

bool Budget::removeTransaction(const Transaction* t) {
    const std::size_t index = indexOfTransaction(t);
    if (index == transactions_.size())
        return false;
    std::unique_ptr<Transaction> taken = std::move(transactions_[index]);
    transactions_.erase(transactions_.begin() + std::ptrdiff_t(index));
    if (history_)
        history_->transactionRemoved(index, std::move(taken));
    return true;
}

void Budget::noteTransactionChange(const Transaction* t) {
    if (history_ && t)
        history_->transactionWillChange(*t);
}

void Budget::sortTransactionsByTime() {
    std::vector<Transaction*> before;
    if (history_) {
        before.reserve(transactions_.size());
        for (const auto& t : transactions_)
            before.push_back(t.get());
    }

    // Serial days are computed once per transaction rather than once per comparison.
    std::vector<std::pair<double, std::unique_ptr<Transaction>>> keyed;
    keyed.reserve(transactions_.size());
    for (auto& t : transactions_) {
        const double key = toSerialDay(t->transactionTime);
        keyed.emplace_back(key, std::move(t));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i)
        transactions_[i] = std::move(keyed[i].second);
    if (history_)
        history_->transactionsSorted(std::move(before));
}

void Budget::showTopLevel(AccountBase* item) {
    if (!item || item->isHidden())
        return;
    if (item->getType() == ItemType::Account) {
        auto* account = static_cast<Account*>(item);
        if (std::find(accountOrder_.begin(), accountOrder_.end(), account) == accountOrder_.end())
            accountOrder_.push_back(account);
    } else if (item->getType() == ItemType::Folder) {
        auto* folder = static_cast<AccountGroup*>(item);
        if (std::find(folderOrder_.begin(), folderOrder_.end(), folder) == folderOrder_.end())
            folderOrder_.push_back(folder);
    }
}

void Budget::showTopLevel(const std::vector<AccountBase*>& items) {
    std::unordered_set<const AccountBase*> shown(accountOrder_.begin(), accountOrder_.end());
    shown.insert(folderOrder_.begin(), folderOrder_.end());
    for (AccountBase* item : items) {
        if (!item || item->isHidden() || !shown.insert(item).second)
            continue;
        if (item->getType() == ItemType::Account)
            accountOrder_.push_back(static_cast<Account*>(item));
        else if (item->getType() == ItemType::Folder)
            folderOrder_.push_back(static_cast<AccountGroup*>(item));
    }
}

void Budget::removeFromOrder(AccountBase* item) {
    accountOrder_.erase(std::remove(accountOrder_.begin(), accountOrder_.end(), item),
                        accountOrder_.end());
    folderOrder_.erase(std::remove(folderOrder_.begin(), folderOrder_.end(), item),
                       folderOrder_.end());
}

std::vector<AccountBase*> Budget::topLevelItemsForSave() const {
    std::set<ItemId> nested;
    for (const auto& [id, item] : registry_) {
        if (item->getType() == ItemType::Folder) {
            for (const AccountBase* child : static_cast<const AccountGroup*>(item)->children())
                nested.insert(child->id());
        }
    }
    std::vector<AccountBase*> result;
    std::set<const AccountBase*> listed;
    auto add = [&](AccountBase* item) {
        if (listed.insert(item).second)
            result.push_back(item);
    };
    for (Account* account : accountOrder_) {
        if (!account->isHidden())
            add(account);
    }
    // A visible account missing from the order would otherwise never be saved.
    for (AccountBase* item : itemsOfType(ItemType::Account)) {
        if (!item->isHidden())
            add(item);
    }
    for (AccountGroup* folder : folderOrder_) {
        if (!folder->isHidden())
            add(folder);
    }
    for (AccountBase* item : itemsOfType(ItemType::Folder)) {
        if (!item->isHidden() && !nested.count(item->id()))
            add(item);
    }
    for (AccountBase* item : itemsOfType(ItemType::Account)) {
        if (item->isHidden())
            add(item);
    }
    for (AccountBase* item : itemsOfType(ItemType::Folder)) {
        if (item->isHidden() && !nested.count(item->id()))
            add(item);
    }
    return result;
}

void Budget::normaliseAfterLoad() {
    // The earliest transaction of each envelope id, found in one pass.
    std::map<ItemId, std::pair<double, const Transaction*>> earliest;
    for (const auto& t : transactions_) {
        const double serial = toSerialDay(t->transactionTime);
        auto [it, inserted] = earliest.emplace(t->category, std::make_pair(serial, t.get()));
        if (!inserted && serial < it->second.first)
            it->second = {serial, t.get()};
    }
    for (AccountBase* item : itemsOfType(ItemType::Envelope)) {
        auto* envelope = static_cast<AccountEnvelope*>(item);
        auto it = earliest.find(envelope->id());
        if (it != earliest.end() && it->second.first < toSerialDay(envelope->createdDate()))
            envelope->setCreatedDate(it->second.second->transactionTime);
    }
    if (nextId_ == kNoId)
        resumeIdAllocationAfterLegacyLoad();
}

namespace {
void copyFields(const AccountBase& from, AccountBase& to) {
    to.setName(from.getName());
    to.setStoredBalance(from.getBalance());
    to.setBudgeted(from.getBudgeted());
    to.setHidden(from.isHidden());
    to.setReadOnly(from.isReadOnly());
    if (from.getType() == ItemType::Account) {
        const auto& a = static_cast<const Account&>(from);
        auto& b = static_cast<Account&>(to);
        b.setContributesToBudget(a.contributesToBudget());
        b.setCCAccount(a.isCCAccount());
        b.setLastImport(a.lastImport());
        b.setStatementColumns(a.statementColumns());
    } else if (from.getType() == ItemType::Folder) {
        static_cast<AccountGroup&>(to).setExpenseLimit(
            static_cast<const AccountGroup&>(from).expenseLimit());
    } else {
        const auto& a = static_cast<const AccountEnvelope&>(from);
        auto& b = static_cast<AccountEnvelope&>(to);
        b.setDefaultPayee(a.defaultPayee());
        b.setDefaultPayFromAccount(a.defaultPayFromAccount());
        b.setDefaultPayToAccount(a.defaultPayToAccount());
        b.setDefaultAmount(a.defaultAmount());
        b.setExpense(a.isExpense());
        b.setVirtualAccount(a.virtualAccount());
        b.setSavingsGoal(a.savingsGoal());
        b.setCreatedDate(a.createdDate());
    }
}
} // namespace

void Budget::replaceWith(const Budget& source) {
    if (&source == this)
        return;
    // From the end: each removal is then the last element.
    while (!transactions_.empty())
        removeTransaction(transactions_.back().get());
    std::vector<AccountBase*> old;
    for (const auto& [id, item] : registry_)
        old.push_back(item);
    for (AccountBase* item : old)
        unregisterItem(item->id());
    accountOrder_.clear();
    folderOrder_.clear();

    // Copies are made with allocation off, so none takes an id another copy is about to get.
    suspendIdAllocation();
    std::map<const AccountBase*, AccountBase*> copies;
    for (const auto& [id, item] : source.registry_) {
        AccountBase* copy = nullptr;
        switch (item->getType()) {
        case ItemType::Account:
            copy = createAccount();
            break;
        case ItemType::Folder:
            copy = createFolder();
            break;
        case ItemType::Envelope:
            copy = createEnvelope();
            break;
        }
        copy->setId(id);
        copyFields(*item, *copy);
        copies[item] = copy;
    }
    for (const auto& [id, item] : source.registry_) {
        if (item->getType() != ItemType::Folder)
            continue;
        for (const AccountBase* child : static_cast<const AccountGroup*>(item)->children()) {
            auto it = copies.find(child);
            if (it != copies.end())
                copies[item]->addChild(it->second);
        }
    }
    for (const Account* account : source.accountOrder_)
        if (auto it = copies.find(account); it != copies.end())
            accountOrder_.push_back(static_cast<Account*>(it->second));
    for (const AccountGroup* folder : source.folderOrder_)
        if (auto it = copies.find(folder); it != copies.end())
            folderOrder_.push_back(static_cast<AccountGroup*>(it->second));
    rules_ = source.rules_;
    schedules_ = source.schedules_;
    nextId_ = source.nextId_ == kNoId ? 0 : source.nextId_;
    if (source.nextId_ == kNoId)
        resumeIdAllocationAfterLegacyLoad();
    for (const auto& t : source.transactions_)
        appendTransaction(std::make_unique<Transaction>(*t));
}
