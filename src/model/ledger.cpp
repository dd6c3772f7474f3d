// The budget's ledger: recording, editing and removing transactions, each together with
// its balances, its place in time and the undo journal.

#include "model/budget.h"
#include "model/undo.h"

#include <algorithm>
#include <unordered_set>

Transaction* Budget::append(std::unique_ptr<Transaction> t) {
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

void Budget::takeOut(std::size_t index) {
    std::unique_ptr<Transaction> taken = std::move(transactions_[index]);
    transactions_.erase(transactions_.begin() + std::ptrdiff_t(index));
    if (history_)
        history_->transactionRemoved(index, std::move(taken));
}

const Transaction* Budget::recordTransaction(Transaction t) {
    Transaction* recorded = append(std::make_unique<Transaction>(std::move(t)));
    placeByTime(recorded);
    applyTransaction(*this, *recorded, false);
    return recorded;
}

void Budget::recordTransactions(std::vector<Transaction> batch) {
    if (batch.empty())
        return;
    const std::size_t old = transactions_.size();
    for (Transaction& t : batch)
        applyTransaction(*this, *append(std::make_unique<Transaction>(std::move(t))), false);

    // Only the stretch from the batch's earliest time on is sorted: a batch of recent days
    // among 100,000 transactions then costs what those days hold, not a sort of everything.
    double earliest = toSerialDay(transactions_[old]->transactionTime);
    for (std::size_t i = old + 1; i < transactions_.size(); ++i)
        earliest = std::min(earliest, toSerialDay(transactions_[i]->transactionTime));
    std::size_t first = old;
    while (first > 0 && toSerialDay(transactions_[first - 1]->transactionTime) > earliest)
        --first;
    std::vector<std::pair<double, std::unique_ptr<Transaction>>> keyed;
    std::vector<Transaction*> before;
    keyed.reserve(transactions_.size() - first);
    before.reserve(transactions_.size() - first);
    for (std::size_t i = first; i < transactions_.size(); ++i) {
        before.push_back(transactions_[i].get());
        const double key = toSerialDay(transactions_[i]->transactionTime);
        keyed.emplace_back(key, std::move(transactions_[i]));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i)
        transactions_[first + i] = std::move(keyed[i].second);
    if (history_)
        history_->transactionsSorted(std::move(before), first);
}

bool Budget::editTransaction(const Transaction* t, const Transaction& changed) {
    const std::size_t index = indexOfTransaction(t);
    if (index == transactions_.size())
        return false;
    Transaction& live = *transactions_[index];
    if (history_)
        history_->transactionWillChange(live);
    applyTransaction(*this, live, true);
    const DateTime before = live.transactionTime;
    live = changed;
    applyTransaction(*this, live, false);
    if (!(live.transactionTime == before))
        placeByTime(&live);
    return true;
}

bool Budget::removeTransaction(const Transaction* t) {
    const std::size_t index = indexOfTransaction(t);
    if (index == transactions_.size())
        return false;
    applyTransaction(*this, *transactions_[index], true);
    takeOut(index);
    return true;
}

std::size_t Budget::setClearedStates(const std::vector<ClearedChange>& changes) {
    // A reconcile marks thousands at once: one pass finds which are the budget's own.
    std::unordered_set<const Transaction*> own;
    own.reserve(transactions_.size());
    for (const auto& t : transactions_)
        own.insert(t.get());
    std::size_t changed = 0;
    for (const ClearedChange& c : changes) {
        if (!c.t || !own.count(c.t) || clearedStateOn(*c.t, c.account) == c.state)
            continue;
        // The list owns it; readers only ever see it const.
        auto* live = const_cast<Transaction*>(c.t);
        if (live->accountFrom != c.account && live->accountTo != c.account)
            continue;
        if (history_)
            history_->transactionWillChange(*live);
        setClearedStateOn(*live, c.account, c.state);
        ++changed;
    }
    return changed;
}

const Transaction* Budget::loadTransaction(Transaction t) {
    return append(std::make_unique<Transaction>(std::move(t)));
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
        history_->transactionsSorted(std::move(before), 0);
}
