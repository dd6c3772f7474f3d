#include "model/split.h"

#include "model/budget.h"

#include <algorithm>

std::int64_t splitTotal(const std::vector<SplitPart>& parts) {
    std::int64_t sum = 0;
    for (const SplitPart& part : parts)
        sum += part.amount;
    return sum;
}

std::vector<const Transaction*> paymentOf(const Budget& budget, const Transaction* t) {
    if (!t)
        return {};
    if (t->split == 0)
        return {t};
    std::vector<const Transaction*> parts;
    for (const Transaction* other : budget.transactions())
        if (other->split == t->split)
            parts.push_back(other);
    if (parts.empty()) // t is not (or no longer) in the budget
        parts.push_back(t);
    return parts;
}

std::vector<SplitPart> splitPartsOf(const std::vector<const Transaction*>& payment) {
    std::vector<SplitPart> parts;
    parts.reserve(payment.size());
    for (const Transaction* t : payment)
        parts.push_back(SplitPart{t->category, t->amount, t->description});
    return parts;
}

std::int64_t paymentAmount(const std::vector<const Transaction*>& payment) {
    std::int64_t sum = 0;
    for (const Transaction* t : payment)
        sum += t->amount;
    return sum;
}

quint32 nextSplitNumber(const Budget& budget) {
    quint32 highest = 0;
    for (const Transaction* t : budget.transactions())
        highest = std::max(highest, t->split);
    if (highest < 0xFFFFFFFFu)
        return highest + 1;
    // Numbers from another program may reach the top: take the lowest one free.
    std::vector<quint32> used;
    for (const Transaction* t : budget.transactions())
        if (t->split)
            used.push_back(t->split);
    std::sort(used.begin(), used.end());
    quint32 candidate = 1;
    for (quint32 n : used) {
        if (n > candidate)
            break;
        if (n == candidate)
            ++candidate;
    }
    return candidate;
}

std::vector<Transaction> splitTransactions(const Transaction& payment,
                                           const std::vector<SplitPart>& parts, quint32 number) {
    std::vector<Transaction> out;
    out.reserve(parts.size());
    for (const SplitPart& part : parts) {
        Transaction t = payment;
        t.type = TransactionType::Expense;
        t.accountTo = kNoId;
        t.category = part.envelope;
        t.amount = part.amount;
        t.description = part.description;
        t.split = parts.size() > 1 ? number : 0;
        out.push_back(std::move(t));
    }
    return out;
}

std::vector<const Transaction*> recordSplit(Budget& budget, const Transaction& payment,
                                            const std::vector<SplitPart>& parts) {
    std::vector<const Transaction*> recorded;
    // Recorded one after another at the same time, the parts stay together in the list.
    for (Transaction& t : splitTransactions(payment, parts, nextSplitNumber(budget)))
        recorded.push_back(budget.recordTransaction(std::move(t)));
    return recorded;
}

bool replacePayment(Budget& budget, const Transaction* t, Transaction payment,
                    const std::vector<SplitPart>& parts) {
    if (parts.empty() || !t || !budget.containsTransaction(t))
        return false;
    const std::vector<const Transaction*> old = paymentOf(budget, t);
    // (payment is a copy: it may be one of the parts taken out below.)
    // A payment that stays one transaction is edited where it is.
    if (old.size() == 1 && parts.size() == 1) {
        return budget.editTransaction(t, splitTransactions(payment, parts, 0).front());
    }
    const quint32 number = t->split ? t->split : nextSplitNumber(budget);
    for (const Transaction* part : old)
        budget.removeTransaction(part);
    for (Transaction& part : splitTransactions(payment, parts, number))
        budget.recordTransaction(std::move(part));
    return true;
}

int removePayment(Budget& budget, const Transaction* t) {
    int removed = 0;
    for (const Transaction* part : paymentOf(budget, t))
        removed += budget.removeTransaction(part) ? 1 : 0;
    return removed;
}
