#include "model/items.h"

#include "model/budget.h"
#include "model/clock.h"

#include <algorithm>
#include <type_traits>

AccountBase::AccountBase(Budget& budget) : budget_(budget) {
    id_ = budget_.allocateId();
    // While ids are not handed out (legacy loading) the item waits for setId to register.
    if (id_ != kNoId)
        budget_.registerItem(this);
}

AccountBase::~AccountBase() {
    if (budget_.findItem(id_) == this)
        budget_.unregisterItem(id_);
}

AccountGroup* AccountBase::getParent() const {
    for (const auto& [id, item] : budget_.registry()) {
        if (item->getType() != ItemType::Folder)
            continue;
        const auto* folder = static_cast<const AccountGroup*>(item);
        for (const AccountBase* child : folder->children()) {
            if (child->id() == id_)
                return const_cast<AccountGroup*>(folder);
        }
    }
    return nullptr;
}

Amount AccountBase::adjustBalance(Amount delta) {
    balance_ = clampAmount(std::int64_t(balance_) + delta);
    return balance_;
}

void AccountBase::insertChildAfter(AccountBase*, AccountBase*) {}
void AccountBase::addChild(AccountBase*) {}
bool AccountBase::removeChild(AccountBase*) {
    return false;
}

void AccountBase::collectIds(std::set<ItemId>& ids) const {
    ids.insert(id_);
}

bool AccountBase::containsId(ItemId) const {
    return false;
}

void AccountBase::setId(ItemId newId) {
    // Only drop the registry entry if it is ours: another item may have replaced it.
    if (budget_.findItem(id_) == this)
        budget_.unregisterItem(id_);
    id_ = newId;
    if (id_ != kNoId)
        budget_.registerItem(this);
}

// The one list of an item's stored fields: f(item's member, the ItemFields member) for each
// field of the item's kind.
struct ItemFieldList {
    template <class Item, class Fields, class F>
    static void visit(Item& item, Fields& fields, F f) {
        f(item.name_, fields.name);
        f(item.balance_, fields.balance);
        f(item.budgeted_, fields.budgeted);
        f(item.hidden_, fields.hidden);
        f(item.readOnly_, fields.readOnly);
        using Same = std::remove_reference_t<decltype(item)>;
        constexpr bool isConst = std::is_const_v<Same>;
        switch (item.getType()) {
        case ItemType::Account: {
            auto& a = static_cast<std::conditional_t<isConst, const Account&, Account&>>(item);
            f(a.contributesToBudget_, fields.contributesToBudget);
            f(a.isCCAccount_, fields.isCCAccount);
            f(a.lastImport_, fields.lastImport);
            f(a.statementColumns_, fields.statementColumns);
            f(a.reconciledDate_, fields.reconciledDate);
            f(a.reconciledBalance_, fields.reconciledBalance);
            f(a.statementDate_, fields.statementDate);
            f(a.statementBalance_, fields.statementBalance);
            break;
        }
        case ItemType::Folder: {
            auto& g =
                static_cast<std::conditional_t<isConst, const AccountGroup&, AccountGroup&>>(item);
            f(g.expenseLimit_, fields.expenseLimit);
            break;
        }
        case ItemType::Envelope: {
            auto& e =
                static_cast<std::conditional_t<isConst, const AccountEnvelope&, AccountEnvelope&>>(
                    item);
            f(e.defaultPayee_, fields.defaultPayee);
            f(e.defaultPayFrom_, fields.defaultPayFrom);
            f(e.defaultPayTo_, fields.defaultPayTo);
            f(e.defaultAmount_, fields.defaultAmount);
            f(e.isExpense_, fields.isExpense);
            f(e.virtualAccount_, fields.virtualAccount);
            f(e.savingsGoal_, fields.savingsGoal);
            f(e.createdDate_, fields.createdDate);
            break;
        }
        }
    }
};

ItemFields AccountBase::fields() const {
    ItemFields out;
    ItemFieldList::visit(*this, out, [](const auto& live, auto& kept) { kept = live; });
    return out;
}

void AccountBase::setFields(const ItemFields& fields) {
    ItemFieldList::visit(*this, fields, [](auto& live, const auto& kept) { live = kept; });
}

Account::Account(Budget& budget) : AccountBase(budget), lastImport_(Clock::now()) {}

QString Account::displayName() const {
    static const QString card = QString::fromUcs4(U"\U0001F4B3 ");
    static const QString bank = QString::fromUcs4(U"\U0001F3E6 ");
    return (isCCAccount_ ? card : bank) + getName();
}

AccountGroup::AccountGroup(Budget& budget) : AccountBase(budget) {}

Amount AccountGroup::adjustBalance(Amount) {
    balance_ = 0;
    return 0;
}

void AccountGroup::insertChildAfter(AccountBase* item, AccountBase* after) {
    if (!after) {
        children_.insert(children_.begin(), item);
        return;
    }
    auto it = std::find(children_.begin(), children_.end(), after);
    if (it != children_.end())
        children_.insert(it + 1, item);
}

void AccountGroup::addChild(AccountBase* item) {
    children_.push_back(item);
}

bool AccountGroup::removeChild(AccountBase* item) {
    auto it = std::find(children_.begin(), children_.end(), item);
    if (it == children_.end())
        return false;
    children_.erase(it);
    return true;
}

void AccountGroup::collectIds(std::set<ItemId>& ids) const {
    ids.insert(id());
    for (const AccountBase* child : children_)
        child->collectIds(ids);
}

Amount AccountGroup::totalBudgeted() const {
    std::int64_t sum = 0;
    for (const AccountBase* child : children_) {
        sum += child->getBudgeted();
        if (child->getType() == ItemType::Folder)
            sum += child->totalBudgeted();
    }
    return clampAmount(sum);
}

Amount AccountGroup::totalBalance() const {
    std::int64_t sum = 0;
    for (const AccountBase* child : children_) {
        sum += child->getBalance();
        if (child->getType() == ItemType::Folder)
            sum += child->totalBalance();
    }
    return clampAmount(sum);
}

bool AccountGroup::containsId(ItemId id) const {
    for (const AccountBase* child : children_) {
        if (child->id() == id || child->containsId(id))
            return true;
    }
    return false;
}

AccountEnvelope::AccountEnvelope(Budget& budget)
    : AccountBase(budget), createdDate_(Clock::now()) {}

Amount AccountEnvelope::adjustBalance(Amount delta) {
    balance_ = std::max<Amount>(0, clampAmount(std::int64_t(balance_) + delta));
    return balance_;
}

namespace {
const QString kChargesEnvelopeName = QStringLiteral("Credit card charges");
const QString kCardsFolderName = QStringLiteral("Credit cards");

void showFolderAtTopLevel(Budget& budget, AccountGroup* folder) {
    if (!folder->getParent())
        budget.showTopLevel(folder);
}
} // namespace

ItemId ensureCardChargesEnvelope(Budget& budget, Account* cardAccount) {
    if (AccountEnvelope* existing = budget.findEnvelope(kChargesEnvelopeId)) {
        existing->setName(kChargesEnvelopeName);
        if (AccountGroup* folder = existing->getParent()) {
            folder->setHidden(false);
            showFolderAtTopLevel(budget, folder);
        }
        existing->setHidden(false);
        return kChargesEnvelopeId;
    }

    AccountGroup* folder = nullptr;
    for (AccountBase* item : budget.itemsOfType(ItemType::Folder)) {
        if (item->getName().compare(kCardsFolderName, Qt::CaseInsensitive) == 0) {
            item->setReadOnly(true);
            folder = static_cast<AccountGroup*>(item);
        }
    }
    if (folder) {
        if (folder->isHidden()) {
            folder->setHidden(false);
            showFolderAtTopLevel(budget, folder);
        }
    } else {
        folder = budget.createFolder();
        folder->setName(kCardsFolderName);
        folder->setReadOnly(true);
        budget.showTopLevel(folder);
    }

    AccountEnvelope* envelope = budget.createEnvelope();
    envelope->setId(kChargesEnvelopeId);
    envelope->setName(kChargesEnvelopeName);
    envelope->setDefaultPayToAccount(cardAccount ? cardAccount->id() : kNoId);
    envelope->setExpense(true);
    envelope->setVirtualAccount(true);
    folder->addChild(envelope);
    return kChargesEnvelopeId;
}

void retireCardChargesEnvelope(Budget& budget) {
    for (AccountBase* item : budget.itemsOfType(ItemType::Account)) {
        const auto* account = static_cast<const Account*>(item);
        if (account->isCCAccount() && !account->isHidden())
            return;
    }
    AccountEnvelope* envelope = budget.findEnvelope(kChargesEnvelopeId);
    if (!envelope)
        return;
    envelope->adjustBalance(-envelope->getBalance());
    envelope->setHidden(true);
    if (AccountGroup* folder = envelope->getParent()) {
        folder->setHidden(true);
        budget.removeFromOrder(folder);
    }
}
