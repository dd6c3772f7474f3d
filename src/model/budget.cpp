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

void Budget::discardNewItem(AccountBase* item) {
    if (!item)
        return;
    if (AccountGroup* folder = item->getParent())
        folder->removeChild(item);
    const ItemId id = item->id();
    if (findItem(id) == item)
        unregisterItem(id);
    removeFromOrder(item);
    if (nextId_ != kNoId && id != kNoId && id + 1 == nextId_)
        nextId_ = id;
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
    // An envelope's created date is not moved back to its earliest transaction here: saved,
    // that derived date would outlive a correction of the transaction's date. The averages
    // widen their window to the earliest expense they count instead.
    if (nextId_ == kNoId)
        resumeIdAllocationAfterLegacyLoad();
}

void Budget::replaceWith(const Budget& source) {
    if (&source == this)
        return;
    // From the end: each removal is then the last element.
    while (!transactions_.empty())
        takeOut(transactions_.size() - 1);
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
        copy->setFields(item->fields());
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
        append(std::make_unique<Transaction>(*t));
}
