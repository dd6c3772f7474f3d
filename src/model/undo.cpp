#include "model/undo.h"

#include "model/budget.h"

#include <algorithm>
#include <utility>

// Every field of an item, whichever its kind, and whether the budget knows it at all (an
// item a step created is taken out of the registry by the undo, not destroyed).
struct UndoHistory::ItemImage {
    AccountBase* item = nullptr;
    bool registered = false;
    ItemId id = kNoId;
    QString name;
    Amount balance = 0;
    Amount budgeted = 0;
    bool hidden = false;
    bool readOnly = false;
    bool contributesToBudget = false;
    bool isCCAccount = false;
    DateTime lastImport;
    std::vector<AccountBase*> children;
    Amount expenseLimit = 0;
    QString defaultPayee;
    ItemId defaultPayFrom = kNoId;
    ItemId defaultPayTo = kNoId;
    Amount defaultAmount = 0;
    bool isExpense = false;
    bool virtualAccount = false;
    Amount savingsGoal = 0;
    DateTime createdDate;

    bool operator==(const ItemImage&) const = default;
};

// One change to the transaction list. Whatever is out of the list is owned here, so a
// transaction lives exactly as long as the list or some step can still bring it back.
struct UndoHistory::TransactionChange {
    enum Kind { Inserted, Removed, Moved, Reordered, Changed } kind = Inserted;
    std::size_t index = 0; // Inserted, Removed, Moved (from), Reordered (first index)
    std::size_t to = 0;    // Moved
    Transaction* target = nullptr;
    std::unique_ptr<Transaction> owned; // Changed: the fields on the other side of the step
    std::vector<Transaction*> order; // Reordered: the other order of the range
};

struct UndoHistory::Step {
    QString name;
    std::vector<ItemImage> items;
    std::optional<std::vector<Account*>> accountOrder;
    std::optional<std::vector<AccountGroup*>> folderOrder;
    std::optional<MappingRuleSet> rules;
    ItemId nextId = 0;
    bool nextIdChanged = false;
    std::vector<TransactionChange> transactions;
};

UndoHistory::UndoHistory(Budget& budget, int capacity)
    : budget_(budget), capacity_(std::size_t(std::max(1, capacity))) {
    budget_.history_ = this;
}

UndoHistory::~UndoHistory() {
    if (budget_.history_ == this)
        budget_.history_ = nullptr;
}

UndoHistory::ItemImage UndoHistory::capture(AccountBase* item) const {
    ItemImage image;
    image.item = item;
    image.registered = budget_.findItem(item->id_) == item;
    image.id = item->id_;
    image.name = item->name_;
    image.balance = item->balance_;
    image.budgeted = item->budgeted_;
    image.hidden = item->hidden_;
    image.readOnly = item->readOnly_;
    switch (item->getType()) {
    case ItemType::Account: {
        auto* a = static_cast<Account*>(item);
        image.contributesToBudget = a->contributesToBudget_;
        image.isCCAccount = a->isCCAccount_;
        image.lastImport = a->lastImport_;
        break;
    }
    case ItemType::Folder: {
        auto* f = static_cast<AccountGroup*>(item);
        image.children = f->children_;
        image.expenseLimit = f->expenseLimit_;
        break;
    }
    case ItemType::Envelope: {
        auto* e = static_cast<AccountEnvelope*>(item);
        image.defaultPayee = e->defaultPayee_;
        image.defaultPayFrom = e->defaultPayFrom_;
        image.defaultPayTo = e->defaultPayTo_;
        image.defaultAmount = e->defaultAmount_;
        image.isExpense = e->isExpense_;
        image.virtualAccount = e->virtualAccount_;
        image.savingsGoal = e->savingsGoal_;
        image.createdDate = e->createdDate_;
        break;
    }
    }
    return image;
}

void UndoHistory::begin() {
    if (depth_++ > 0)
        return;
    open_ = std::make_unique<Step>();
    open_->nextId = budget_.nextId_;
    open_->accountOrder = budget_.accountOrder_;
    open_->folderOrder = budget_.folderOrder_;
    open_->rules = budget_.rules_;
    snapshot_.clear();
    snapshot_.reserve(budget_.registry_.size());
    for (const auto& [id, item] : budget_.registry_)
        snapshot_.push_back(capture(item));
    noted_.clear();
}

bool UndoHistory::end(const QString& name) {
    if (depth_ == 0 || --depth_ > 0)
        return false;
    std::unique_ptr<Step> step = std::move(open_);
    step->name = name;

    // Only what differs from the start is kept; the rest of the snapshot goes.
    std::unordered_set<const AccountBase*> known;
    for (ItemImage& before : snapshot_) {
        known.insert(before.item);
        if (!(capture(before.item) == before))
            step->items.push_back(std::move(before));
    }
    for (const auto& [id, item] : budget_.registry_) {
        if (!known.count(item)) {
            ItemImage image = capture(item);
            image.registered = false; // it did not exist before the step
            step->items.push_back(std::move(image));
        }
    }
    snapshot_.clear();
    noted_.clear();
    if (step->accountOrder == budget_.accountOrder_)
        step->accountOrder.reset();
    if (step->folderOrder == budget_.folderOrder_)
        step->folderOrder.reset();
    if (step->rules == budget_.rules_)
        step->rules.reset();
    step->nextIdChanged = step->nextId != budget_.nextId_;

    if (step->items.empty() && !step->accountOrder && !step->folderOrder && !step->rules &&
        !step->nextIdChanged && step->transactions.empty())
        return false;
    steps_.erase(steps_.begin() + std::ptrdiff_t(done_), steps_.end());
    steps_.push_back(std::move(step));
    if (steps_.size() > capacity_)
        steps_.pop_front();
    done_ = steps_.size();
    return true;
}

QString UndoHistory::undoName() const {
    return canUndo() ? steps_[done_ - 1]->name : QString();
}

QString UndoHistory::redoName() const {
    return canRedo() ? steps_[done_]->name : QString();
}

bool UndoHistory::undo() {
    if (!canUndo())
        return false;
    toggle(*steps_[done_ - 1], true);
    --done_;
    return true;
}

bool UndoHistory::redo() {
    if (!canRedo())
        return false;
    toggle(*steps_[done_], false);
    ++done_;
    return true;
}

void UndoHistory::clear() {
    steps_.clear();
    done_ = 0;
}

bool UndoHistory::recording() {
    if (replaying_)
        return false;
    if (!open_) {
        // Someone changed the list outside a step: the kept indexes no longer fit it.
        clear();
        return false;
    }
    return true;
}

void UndoHistory::transactionInserted(std::size_t index) {
    if (!recording())
        return;
    TransactionChange c;
    c.kind = TransactionChange::Inserted;
    c.index = index;
    c.target = budget_.transactions_[index].get();
    open_->transactions.push_back(std::move(c));
}

void UndoHistory::transactionRemoved(std::size_t index, std::unique_ptr<Transaction> t) {
    if (!recording())
        return; // t is destroyed here
    TransactionChange c;
    c.kind = TransactionChange::Removed;
    c.index = index;
    c.target = t.get();
    c.owned = std::move(t);
    open_->transactions.push_back(std::move(c));
}

void UndoHistory::transactionMoved(std::size_t from, std::size_t to) {
    if (!recording())
        return;
    TransactionChange c;
    c.kind = TransactionChange::Moved;
    c.index = from;
    c.to = to;
    c.target = budget_.transactions_[to].get();
    open_->transactions.push_back(std::move(c));
}

void UndoHistory::transactionsSorted(std::vector<Transaction*> before) {
    if (!recording())
        return;
    // Only the stretch whose order changed is kept.
    const auto& now = budget_.transactions_;
    std::size_t first = 0;
    while (first < before.size() && before[first] == now[first].get())
        ++first;
    if (first == before.size())
        return;
    std::size_t last = before.size();
    while (last > first && before[last - 1] == now[last - 1].get())
        --last;
    TransactionChange c;
    c.kind = TransactionChange::Reordered;
    c.index = first;
    c.order.assign(before.begin() + std::ptrdiff_t(first), before.begin() + std::ptrdiff_t(last));
    open_->transactions.push_back(std::move(c));
}

void UndoHistory::transactionWillChange(const Transaction& t) {
    if (!recording() || !noted_.insert(&t).second)
        return;
    TransactionChange c;
    c.kind = TransactionChange::Changed;
    c.target = const_cast<Transaction*>(&t);
    c.owned = std::make_unique<Transaction>(t);
    open_->transactions.push_back(std::move(c));
}

void UndoHistory::swapItems(Step& step) {
    // Registry entries first come out for every item, then go back under the swapped ids,
    // so two items that traded ids do not push each other out.
    std::vector<ItemImage> current;
    current.reserve(step.items.size());
    for (const ItemImage& image : step.items)
        current.push_back(capture(image.item));
    for (const ItemImage& now : current) {
        if (now.registered)
            budget_.unregisterItem(now.id);
    }
    for (std::size_t i = 0; i < step.items.size(); ++i) {
        ItemImage& image = step.items[i];
        AccountBase* item = image.item;
        item->id_ = image.id;
        item->name_ = image.name;
        item->balance_ = image.balance;
        item->budgeted_ = image.budgeted;
        item->hidden_ = image.hidden;
        item->readOnly_ = image.readOnly;
        switch (item->getType()) {
        case ItemType::Account: {
            auto* a = static_cast<Account*>(item);
            a->contributesToBudget_ = image.contributesToBudget;
            a->isCCAccount_ = image.isCCAccount;
            a->lastImport_ = image.lastImport;
            break;
        }
        case ItemType::Folder: {
            auto* f = static_cast<AccountGroup*>(item);
            f->children_ = image.children;
            f->expenseLimit_ = image.expenseLimit;
            break;
        }
        case ItemType::Envelope: {
            auto* e = static_cast<AccountEnvelope*>(item);
            e->defaultPayee_ = image.defaultPayee;
            e->defaultPayFrom_ = image.defaultPayFrom;
            e->defaultPayTo_ = image.defaultPayTo;
            e->defaultAmount_ = image.defaultAmount;
            e->isExpense_ = image.isExpense;
            e->virtualAccount_ = image.virtualAccount;
            e->savingsGoal_ = image.savingsGoal;
            e->createdDate_ = image.createdDate;
            break;
        }
        }
        const bool registerNow = image.registered;
        image = std::move(current[i]);
        if (registerNow)
            budget_.registerItem(item);
    }
}

void UndoHistory::toggle(Step& step, bool undoing) {
    replaying_ = true;
    auto& list = budget_.transactions_;
    auto take = [this, &list](std::size_t index, const Transaction* expected) {
        // The index is right unless the list was changed behind the history's back.
        if (index >= list.size() || list[index].get() != expected)
            index = budget_.indexOfTransaction(expected);
        std::unique_ptr<Transaction> t;
        if (index < list.size()) {
            t = std::move(list[index]);
            list.erase(list.begin() + std::ptrdiff_t(index));
        }
        return t;
    };
    auto put = [&list](std::size_t index, std::unique_ptr<Transaction> t) {
        if (t)
            list.insert(list.begin() + std::ptrdiff_t(std::min(index, list.size())),
                        std::move(t));
    };
    auto apply = [&](TransactionChange& c) {
        switch (c.kind) {
        case TransactionChange::Inserted:
            if (undoing)
                c.owned = take(c.index, c.target);
            else
                put(c.index, std::move(c.owned));
            break;
        case TransactionChange::Removed:
            if (undoing)
                put(c.index, std::move(c.owned));
            else
                c.owned = take(c.index, c.target);
            break;
        case TransactionChange::Moved:
            if (undoing)
                put(c.index, take(c.to, c.target));
            else
                put(c.to, take(c.index, c.target));
            break;
        case TransactionChange::Reordered:
            for (std::size_t i = 0; i < c.order.size(); ++i) {
                Transaction* other = c.order[i];
                c.order[i] = list[c.index + i].release();
                list[c.index + i].reset(other);
            }
            break;
        case TransactionChange::Changed:
            std::swap(*c.target, *c.owned);
            break;
        }
    };
    if (undoing) {
        for (auto it = step.transactions.rbegin(); it != step.transactions.rend(); ++it)
            apply(*it);
    } else {
        for (TransactionChange& c : step.transactions)
            apply(c);
    }
    swapItems(step);
    if (step.accountOrder)
        std::swap(*step.accountOrder, budget_.accountOrder_);
    if (step.folderOrder)
        std::swap(*step.folderOrder, budget_.folderOrder_);
    if (step.rules)
        std::swap(*step.rules, budget_.rules_);
    if (step.nextIdChanged)
        std::swap(step.nextId, budget_.nextId_);
    replaying_ = false;
}
