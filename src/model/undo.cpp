#include "model/undo.h"

#include "model/budget.h"

#include <algorithm>
#include <utility>

// An item's fields, id and folder contents, and whether the budget knows it at all (an
// item a step created is taken out of the registry by the undo, not destroyed).
struct UndoHistory::ItemImage {
    AccountBase* item = nullptr;
    bool registered = false;
    ItemId id = kNoId;
    ItemFields fields;
    std::vector<AccountBase*> children;

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
    std::vector<Transaction*> order;    // Reordered: the other order of the range
};

struct UndoHistory::Step {
    QString name;
    std::vector<ItemImage> items;
    std::optional<std::vector<Account*>> accountOrder;
    std::optional<std::vector<AccountGroup*>> folderOrder;
    std::optional<MappingRuleSet> rules;
    std::optional<std::vector<Schedule>> schedules;
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
    image.fields = item->fields();
    if (item->getType() == ItemType::Folder)
        image.children = static_cast<AccountGroup*>(item)->children_;
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
    open_->schedules = budget_.schedules_;
    snapshot_.clear();
    snapshot_.reserve(budget_.registry_.size());
    for (const auto& [id, item] : budget_.registry_)
        snapshot_.push_back(capture(item));
    noted_.clear();
}

ChangeReport UndoHistory::end(const QString& name) {
    if (depth_ == 0 || --depth_ > 0)
        return {};
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
    if (step->schedules == budget_.schedules_)
        step->schedules.reset();
    step->nextIdChanged = step->nextId != budget_.nextId_;

    ChangeReport report;
    report.items = !step->items.empty();
    report.accounts = std::any_of(step->items.begin(), step->items.end(), [](const ItemImage& i) {
        return i.item->getType() == ItemType::Account;
    });
    report.orders = step->accountOrder || step->folderOrder;
    report.rules = step->rules.has_value();
    report.schedules = step->schedules.has_value();
    report.ids = step->nextIdChanged;
    for (const TransactionChange& c : step->transactions) {
        if (c.kind == TransactionChange::Changed)
            report.editedTransactions.push_back(c.target);
        else
            report.transactionList = true;
    }
    if (!report)
        return report;
    steps_.erase(steps_.begin() + std::ptrdiff_t(done_), steps_.end());
    steps_.push_back(std::move(step));
    if (steps_.size() > capacity_)
        steps_.pop_front();
    done_ = steps_.size();
    return report;
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

void UndoHistory::transactionsSorted(std::vector<Transaction*> before, std::size_t offset) {
    if (!recording())
        return;
    // Only the stretch whose order changed is kept.
    const auto& now = budget_.transactions_;
    std::size_t first = 0;
    while (first < before.size() && before[first] == now[offset + first].get())
        ++first;
    if (first == before.size())
        return;
    std::size_t last = before.size();
    while (last > first && before[last - 1] == now[offset + last - 1].get())
        --last;
    TransactionChange c;
    c.kind = TransactionChange::Reordered;
    c.index = offset + first;
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
    std::vector<bool> registeredNow;
    registeredNow.reserve(step.items.size());
    for (const ItemImage& image : step.items) {
        AccountBase* item = image.item;
        registeredNow.push_back(budget_.findItem(item->id_) == item);
        if (registeredNow.back())
            budget_.unregisterItem(item->id_);
    }
    for (std::size_t i = 0; i < step.items.size(); ++i) {
        ItemImage& image = step.items[i];
        AccountBase* item = image.item;
        ItemFields live = item->fields();
        item->setFields(image.fields);
        image.fields = std::move(live);
        std::swap(item->id_, image.id);
        if (item->getType() == ItemType::Folder)
            std::swap(static_cast<AccountGroup*>(item)->children_, image.children);
        const bool registerNow = image.registered;
        image.registered = registeredNow[i];
        if (registerNow)
            budget_.registerItem(image.item);
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
            list.insert(list.begin() + std::ptrdiff_t(std::min(index, list.size())), std::move(t));
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
    if (step.schedules)
        std::swap(*step.schedules, budget_.schedules_);
    if (step.nextIdChanged)
        std::swap(step.nextId, budget_.nextId_);
    replaying_ = false;
}
