#include "model/reconcile.h"

#include "model/budget.h"

#include <unordered_map>

std::int64_t clearedBalance(const Budget& budget, const Account& account) {
    std::int64_t balance = account.getBalance();
    const ItemId id = account.id();
    for (const Transaction* t : budget.transactions())
        if ((t->accountFrom == id || t->accountTo == id) &&
            clearedStateOn(*t, id) == ClearedState::Uncleared)
            balance -= accountChange(*t, id);
    return balance;
}

Reconciliation::Reconciliation(const Budget& budget, const Account& account,
                               const DateTime& statementDate)
    : budget_(budget), account_(account) {
    setStatementDate(statementDate);
}

void Reconciliation::setStatementDate(const DateTime& statementDate) {
    std::unordered_map<const Transaction*, bool> kept;
    kept.reserve(rows_.size());
    for (const ReconcileRow& row : rows_)
        kept.emplace(row.t, row.ticked);
    rows_.clear();
    const ItemId id = account_.id();
    const int lastDay = serialDayOf(statementDate);
    base_ = account_.getBalance();
    ticked_ = 0;
    std::unordered_map<quint32, std::size_t> splitRows; // split number -> its row
    for (const Transaction* t : budget_.transactions()) {
        if (t->accountFrom != id && t->accountTo != id)
            continue;
        const ClearedState state = clearedStateOn(*t, id);
        if (state == ClearedState::Reconciled)
            continue;
        const std::int64_t change = accountChange(*t, id);
        base_ -= change;
        if (serialDayOf(t->transactionTime) > lastDay)
            continue;
        if (t->split != 0) {
            const auto [at, first] = splitRows.emplace(t->split, rows_.size());
            if (!first) {
                ReconcileRow& row = rows_[at->second];
                row.otherParts.push_back(t);
                row.change += change;
                if (row.ticked)
                    ticked_ += change;
                continue;
            }
        }
        const auto found = kept.find(t);
        const bool ticked = found != kept.end() ? found->second : state == ClearedState::Cleared;
        rows_.push_back(ReconcileRow{t, change, ticked, {}});
        if (ticked)
            ticked_ += change;
    }
}

void Reconciliation::setTicked(std::size_t row, bool ticked) {
    if (row >= rows_.size() || rows_[row].ticked == ticked)
        return;
    rows_[row].ticked = ticked;
    ticked_ += ticked ? rows_[row].change : -rows_[row].change;
}

std::optional<std::vector<std::size_t>>
Reconciliation::closingSet(std::int64_t statementBalance) const {
    const std::int64_t wanted = difference(statementBalance);
    if (wanted == 0)
        return std::nullopt;
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        // A row of no money could be in the set or not: it never decides anything.
        if (rows_[i].ticked || rows_[i].change == 0)
            continue;
        if (candidates.size() == kMaxSearched)
            return std::nullopt;
        candidates.push_back(i);
    }
    // Meet in the middle: every sum of the first half is kept with how many subsets give it,
    // then each subset of the second half looks up the sum it still needs.
    const std::size_t half = candidates.size() / 2;
    const std::size_t rest = candidates.size() - half;
    struct Seen {
        int count = 0;
        quint32 mask = 0;
    };
    std::unordered_map<std::int64_t, Seen> firstHalf;
    firstHalf.reserve(std::size_t(1) << half);
    for (quint32 mask = 0; mask < (quint32(1) << half); ++mask) {
        std::int64_t sum = 0;
        for (std::size_t b = 0; b < half; ++b)
            if (mask & (quint32(1) << b))
                sum += rows_[candidates[b]].change;
        Seen& seen = firstHalf[sum];
        if (seen.count++ == 0)
            seen.mask = mask;
    }
    int found = 0;
    quint32 leftMask = 0;
    quint32 rightMask = 0;
    for (quint32 mask = 0; mask < (quint32(1) << rest); ++mask) {
        std::int64_t sum = 0;
        for (std::size_t b = 0; b < rest; ++b)
            if (mask & (quint32(1) << b))
                sum += rows_[candidates[half + b]].change;
        const auto match = firstHalf.find(wanted - sum);
        if (match == firstHalf.end())
            continue;
        found += match->second.count;
        if (found > 1)
            return std::nullopt;
        leftMask = match->second.mask;
        rightMask = mask;
    }
    if (found != 1)
        return std::nullopt;
    std::vector<std::size_t> chosen;
    for (std::size_t b = 0; b < half; ++b)
        if (leftMask & (quint32(1) << b))
            chosen.push_back(candidates[b]);
    for (std::size_t b = 0; b < rest; ++b)
        if (rightMask & (quint32(1) << b))
            chosen.push_back(candidates[half + b]);
    return chosen;
}

const Transaction* finishReconcile(Budget& budget, Account& account, const Reconciliation& r,
                                   const DateTime& statementDate, Amount statementBalance,
                                   bool adjust, const DateTime& adjustmentTime) {
    const ItemId id = account.id();
    std::vector<ClearedChange> changes;
    for (const ReconcileRow& row : r.rows()) {
        if (!row.ticked)
            continue;
        changes.push_back(ClearedChange{row.t, id, ClearedState::Reconciled});
        for (const Transaction* part : row.otherParts)
            changes.push_back(ClearedChange{part, id, ClearedState::Reconciled});
    }
    const Transaction* adjustment = nullptr;
    const std::int64_t left = r.difference(statementBalance);
    if (adjust && left != 0) {
        // Money found or missing counts toward what is left to budget: no envelope takes it.
        // A card gets a deposit either way, so the card rule does not fill its charges.
        const bool expense = left < 0 && !account.isCCAccount();
        Transaction t =
            expense ? makeTransaction(TransactionType::Expense, clampAmount(left), id, kNoId, kNoId,
                                      kAdjustmentPayee, QString(), adjustmentTime)
                    : makeTransaction(TransactionType::Deposit, clampAmount(left), kNoId, id, kNoId,
                                      kAdjustmentPayee, QString(), adjustmentTime);
        setClearedStateOn(t, id, ClearedState::Reconciled);
        adjustment = budget.recordTransaction(std::move(t));
    }
    budget.setClearedStates(changes);
    DateTime day = statementDate;
    day.hour = day.minute = day.second = day.milliseconds = 0;
    account.setReconciled(day, statementBalance);
    return adjustment;
}

bool isReconciled(const Transaction& t) {
    return (t.accountFrom != kNoId && t.clearedFrom == ClearedState::Reconciled) ||
           (t.accountTo != kNoId && t.clearedTo == ClearedState::Reconciled);
}

namespace {
bool sameDay(const DateTime& a, const DateTime& b) {
    return serialDayOf(a) == serialDayOf(b);
}
} // namespace

bool touchesReconciled(const Transaction& before, const Transaction& after) {
    const bool money = before.amount != after.amount || before.type != after.type ||
                       !sameDay(before.transactionTime, after.transactionTime);
    const bool fromSettled =
        before.accountFrom != kNoId && before.clearedFrom == ClearedState::Reconciled;
    const bool toSettled =
        before.accountTo != kNoId && before.clearedTo == ClearedState::Reconciled;
    return (fromSettled && (money || before.accountFrom != after.accountFrom)) ||
           (toSettled && (money || before.accountTo != after.accountTo));
}

void settleEditedStates(const Transaction& before, Transaction& after) {
    const bool money = before.amount != after.amount || before.type != after.type ||
                       !sameDay(before.transactionTime, after.transactionTime);
    const auto settle = [money](ItemId was, ItemId now, ClearedState state) {
        if (was != now)
            return ClearedState::Uncleared; // the bank of the new account has not booked it
        if (money && state == ClearedState::Reconciled)
            return ClearedState::Cleared;
        return state;
    };
    after.clearedFrom = settle(before.accountFrom, after.accountFrom, before.clearedFrom);
    after.clearedTo = settle(before.accountTo, after.accountTo, before.clearedTo);
}

DateTime reconciledStatementOf(const Budget& budget, const Transaction& t) {
    DateTime latest;
    const auto consider = [&](ItemId id, ClearedState state) {
        const Account* a = budget.findAccount(id);
        if (a && state == ClearedState::Reconciled && a->reconciledDate().isSet() &&
            (!latest.isSet() || isEarlier(latest, a->reconciledDate())))
            latest = a->reconciledDate();
    };
    consider(t.accountFrom, t.clearedFrom);
    consider(t.accountTo, t.clearedTo);
    return latest;
}
