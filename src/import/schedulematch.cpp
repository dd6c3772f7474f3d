#include "import/schedulematch.h"

#include "model/budget.h"
#include "model/schedule.h"

#include <cstdlib>

namespace {
// The account the schedule's money leaves or enters, and with which sign.
bool sameAccount(const Schedule& s, ItemId account, Amount rowAmount) {
    switch (s.type) {
    case TransactionType::Expense:
        return s.accountFrom == account && rowAmount < 0;
    case TransactionType::Deposit:
        return s.accountTo == account && rowAmount > 0;
    case TransactionType::Transfer:
    case TransactionType::CCPayment:
        return (s.accountFrom == account && rowAmount < 0) ||
               (s.accountTo == account && rowAmount > 0);
    }
    return false;
}
} // namespace

int scheduleForRow(const Budget& budget, ItemId account, const ImportRecord& record) {
    const QDate day = toQDate(record.date);
    for (std::size_t i = 0; i < budget.schedules().size(); ++i) {
        const Schedule& s = budget.schedules()[i];
        if (!sameAccount(s, account, record.amount) || !amountMatches(s, record.amount))
            continue;
        const Occurrence next = nextOccurrence(s);
        if (next.index >= 0 && std::abs(day.daysTo(next.date)) <= kScheduleMatchDays)
            return int(i);
    }
    return -1;
}

namespace {
// The occurrence's transaction: the schedule's kind in the account, near the day, in its range,
// with its payee or (an expense) its envelope, so an edited entry still counts.
const Transaction* enteredNear(const Budget& budget, const Schedule& s, ItemId account,
                               const QDate& day) {
    const auto& all = budget.transactions();
    // Oldest first: from the newest back to a few days before the occurrence.
    for (std::size_t i = all.size(); i-- > 0;) {
        const Transaction* t = all[i];
        const QDate when = toQDate(t->transactionTime);
        if (when.isValid() && when.daysTo(day) > kScheduleMatchDays)
            break;
        if (t->type != s.type || (t->accountFrom != account && t->accountTo != account) ||
            std::abs(when.daysTo(day)) > kScheduleMatchDays || !amountMatches(s, t->amount))
            continue;
        const bool sameEnvelope = s.type == TransactionType::Expense && t->category == s.category;
        if (sameEnvelope || t->payee.compare(s.payee, Qt::CaseInsensitive) == 0)
            return t;
    }
    return nullptr;
}
} // namespace

const Transaction* enteredOccurrenceFor(const Budget& budget, ItemId account,
                                        const ImportRecord& record) {
    const QDate day = toQDate(record.date);
    if (!day.isValid())
        return nullptr;
    for (const Schedule& s : budget.schedules()) {
        if (s.done <= 0 || !sameAccount(s, account, record.amount) ||
            !amountMatches(s, record.amount))
            continue;
        // The entered occurrences near the row: the latest ones, back to a few days before it.
        for (int k = s.done - 1; k >= 0; --k) {
            const QDate due = occurrenceDate(s, k);
            if (!due.isValid() || due.daysTo(day) > kScheduleMatchDays)
                break;
            if (due.daysTo(day) < -kScheduleMatchDays)
                continue;
            if (const Transaction* t = enteredNear(budget, s, account, due))
                return t;
        }
    }
    return nullptr;
}

void mapRowsToSchedules(const Budget& budget, ItemId account, std::vector<ImportRecord>& records) {
    for (ImportRecord& record : records) {
        // A rule's answer stands.
        if (!record.mappedPayee.isEmpty() || record.envelopeId != kNoId || record.deposit ||
            record.otherAccount != kNoId)
            continue;
        const int i = scheduleForRow(budget, account, record);
        if (i < 0)
            continue;
        const Schedule& s = budget.schedules()[std::size_t(i)];
        record.mappedPayee = s.payee;
        if (s.type == TransactionType::Expense)
            record.envelopeId = s.category;
        else if (s.type == TransactionType::Deposit)
            record.deposit = true;
        else // a transfer or card payment: the row is this account's side of it
            record.otherAccount = s.accountFrom == account ? s.accountTo : s.accountFrom;
    }
}

int settleScheduledOccurrences(Budget& budget, ItemId account,
                               const std::vector<ImportRecord>& recorded) {
    int settled = 0;
    for (const ImportRecord& record : recorded) {
        const int i = scheduleForRow(budget, account, record);
        if (i < 0)
            continue;
        Schedule& s = budget.schedules()[std::size_t(i)];
        s.done = nextOccurrence(s).index + 1;
        ++settled;
    }
    return settled;
}
