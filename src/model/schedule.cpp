#include "model/schedule.h"

#include "model/budget.h"
#include "model/clock.h"

#include <QDateTime>
#include <algorithm>
#include <cstdlib>

namespace {
// Far enough for any budget, near enough that date arithmetic never leaves QDate's range.
constexpr int kMaxIndex = 100000;

QDate weekendMoved(const QDate& d, WeekendRule rule) {
    const int dow = d.dayOfWeek(); // 6 Saturday, 7 Sunday
    if (dow < 6 || rule == WeekendRule::Keep)
        return d;
    if (rule == WeekendRule::Before)
        return d.addDays(dow == 6 ? -1 : -2);
    return d.addDays(dow == 6 ? 2 : 1);
}
} // namespace

bool isValidRule(const Schedule& s) {
    return s.first.isValid() && s.every >= 1 && s.every <= 1000;
}

QDate nominalDate(const Schedule& s, int index) {
    if (!isValidRule(s) || index < 0 || index > kMaxIndex)
        return {};
    const qint64 steps = qint64(index) * s.every;
    switch (s.unit) {
    case RepeatUnit::Days:
        return s.first.addDays(steps);
    case RepeatUnit::Weeks:
        return s.first.addDays(steps * 7);
    case RepeatUnit::Months: {
        // From the first date each time, so the 31st comes back after a short month.
        const qint64 months = qint64(s.first.month() - 1) + steps;
        const int year = int(s.first.year() + months / 12);
        const int month = int(months % 12) + 1;
        const int last = QDate(year, month, 1).daysInMonth();
        return QDate(year, month, s.lastDayOfMonth ? last : std::min(s.first.day(), last));
    }
    case RepeatUnit::Years: {
        const int year = int(s.first.year() + steps);
        const int last = QDate(year, s.first.month(), 1).daysInMonth();
        return QDate(year, s.first.month(), std::min(s.first.day(), last));
    }
    }
    return {};
}

QDate occurrenceDate(const Schedule& s, int index) {
    if (s.count > 0 && index >= s.count)
        return {};
    const QDate nominal = nominalDate(s, index);
    if (!nominal.isValid() || (s.until.isValid() && nominal > s.until))
        return {};
    return weekendMoved(nominal, s.weekend);
}

Occurrence nextOccurrence(const Schedule& s) {
    const QDate d = occurrenceDate(s, s.done);
    return d.isValid() ? Occurrence{s.done, d} : Occurrence{-1, {}};
}

std::vector<Occurrence> dueOccurrences(const Schedule& s, const QDate& day, int limit) {
    std::vector<Occurrence> due;
    for (int k = s.done; int(due.size()) < limit; ++k) {
        const QDate d = occurrenceDate(s, k);
        if (!d.isValid() || d > day)
            break;
        due.push_back({k, d});
    }
    return due;
}

std::vector<Occurrence> occurrencesBetween(const Schedule& s, const QDate& from, const QDate& to,
                                           int limit) {
    std::vector<Occurrence> found;
    for (int k = s.done; int(found.size()) < limit; ++k) {
        const QDate d = occurrenceDate(s, k);
        if (!d.isValid() || d > to)
            break;
        if (d >= from)
            found.push_back({k, d});
    }
    return found;
}

int resumeIndex(const Schedule& changed, const Schedule& old) {
    if (old.done <= 0)
        return 0;
    // The last one entered, before any end the old rule had.
    const QDate last = weekendMoved(nominalDate(old, old.done - 1), old.weekend);
    int k = 0;
    while (k < kMaxIndex && last.isValid()) {
        const QDate d = occurrenceDate(changed, k);
        if (!d.isValid() || d > last)
            break;
        ++k;
    }
    return k;
}

bool amountMatches(const Schedule& s, Amount amount) {
    const qint64 expected = std::llabs(qint64(s.amount));
    const qint64 got = std::llabs(qint64(amount));
    if (s.aboutPercent <= 0)
        return expected == got;
    // In whole cents times 100, so no rounding decides a border case.
    return std::llabs(got - expected) * 100 <= expected * s.aboutPercent;
}

Transaction occurrenceTransaction(const Schedule& s, const QDate& day) {
    DateTime when = atStartOfDay(day);
    const DateTime now = Clock::now();
    when.hour = now.hour;
    when.minute = now.minute;
    when.second = now.second;
    return makeTransaction(s.type, s.amount, s.accountFrom, s.accountTo, s.category, s.payee,
                           s.description, when);
}

const Transaction* recordOccurrence(Budget& budget, const Schedule& s, const QDate& day) {
    return budget.recordTransaction(occurrenceTransaction(s, day));
}

bool isRecordable(const Budget& budget, const Schedule& s) {
    const bool from = budget.findAccount(s.accountFrom) != nullptr;
    const bool to = budget.findAccount(s.accountTo) != nullptr;
    switch (s.type) {
    case TransactionType::Expense:
        return from && budget.findEnvelope(s.category) != nullptr;
    case TransactionType::Deposit:
        return to;
    case TransactionType::Transfer:
    case TransactionType::CCPayment:
        return from && to;
    }
    return false;
}

namespace {
// Adds what schedule `index` has due to the batch and moves the schedule past it.
void collectDue(Budget& budget, std::size_t index, const QDate& today,
                std::vector<Transaction>& batch) {
    Schedule& s = budget.schedules()[index];
    // One whose account is gone waits (and shows in the upcoming list) rather than moving
    // money nowhere.
    if (s.mode != ScheduleMode::Automatic || !isRecordable(budget, s))
        return;
    for (const Occurrence& o : dueOccurrences(s, today)) {
        batch.push_back(occurrenceTransaction(s, o.date));
        s.done = o.index + 1;
    }
}

int recordBatch(Budget& budget, std::vector<Transaction> batch) {
    const int count = int(batch.size());
    // One batch: placing each among 100,000 transactions one by one is what made the check
    // after weeks away slow.
    budget.recordTransactions(std::move(batch));
    return count;
}
} // namespace

int enterDueOccurrences(Budget& budget, std::size_t index, const QDate& today) {
    if (index >= budget.schedules().size())
        return 0;
    std::vector<Transaction> batch;
    collectDue(budget, index, today, batch);
    return recordBatch(budget, std::move(batch));
}

int enterDueOccurrences(Budget& budget, const QDate& today) {
    std::vector<Transaction> batch;
    for (std::size_t i = 0; i < budget.schedules().size(); ++i)
        collectDue(budget, i, today, batch);
    return recordBatch(budget, std::move(batch));
}

std::vector<UpcomingEntry> upcomingEntries(const Budget& budget, const QDate& today, int days) {
    std::vector<UpcomingEntry> list;
    const QDate end = today.addDays(days);
    for (std::size_t i = 0; i < budget.schedules().size(); ++i) {
        const Schedule& s = budget.schedules()[i];
        for (const Occurrence& o : occurrencesBetween(s, QDate(1, 1, 1), end))
            list.push_back({i, o, o.date <= today, o.index == s.done});
    }
    std::stable_sort(list.begin(), list.end(), [](const UpcomingEntry& a, const UpcomingEntry& b) {
        return a.occurrence.date < b.occurrence.date;
    });
    return list;
}

std::vector<ProjectedEntry> projectedEntries(const Budget& budget, ItemId account,
                                             std::int64_t balance, const QDate& today, int days) {
    std::vector<ProjectedEntry> projected;
    for (const UpcomingEntry& e : upcomingEntries(budget, today, days)) {
        const Schedule& s = budget.schedules()[e.schedule];
        Transaction t = occurrenceTransaction(s, e.occurrence.date);
        // An expense or a deposit uses one account only, whatever the other field holds.
        if (s.type == TransactionType::Expense)
            t.accountTo = kNoId;
        else if (s.type == TransactionType::Deposit)
            t.accountFrom = kNoId;
        if (t.accountFrom != account && t.accountTo != account)
            continue;
        balance += accountChange(t, account);
        projected.push_back({e, std::move(t), balance});
    }
    return projected;
}

Occurrence nextDueForEnvelope(const Budget& budget, ItemId envelope, std::size_t* schedule) {
    Occurrence best{-1, {}};
    for (std::size_t i = 0; i < budget.schedules().size(); ++i) {
        const Schedule& s = budget.schedules()[i];
        if (s.category != envelope || s.type != TransactionType::Expense)
            continue;
        const Occurrence o = nextOccurrence(s);
        if (o.index >= 0 && (best.index < 0 || o.date < best.date)) {
            best = o;
            if (schedule)
                *schedule = i;
        }
    }
    return best;
}

Amount dueThisMonth(const Budget& budget, ItemId envelope, const QDate& today) {
    const QDate end(today.year(), today.month(), today.daysInMonth());
    std::int64_t sum = 0;
    for (const Schedule& s : budget.schedules()) {
        if (s.category != envelope || s.type != TransactionType::Expense)
            continue;
        const auto due = occurrencesBetween(s, QDate(1, 1, 1), end);
        sum += std::int64_t(due.size()) * std::llabs(qint64(s.amount));
    }
    return clampAmount(sum);
}

int fundToCoverDue(Budget& budget, AccountGroup& folder, const QDate& today) {
    int raised = 0;
    for (AccountBase* child : folder.children()) {
        if (child->getType() != ItemType::Envelope || child->isHidden())
            continue;
        const Amount due = dueThisMonth(budget, child->id(), today);
        if (child->getBalance() < due) {
            child->adjustBalance(clampAmount(std::int64_t(due) - child->getBalance()));
            ++raised;
        }
    }
    return raised;
}

QString enteredMessage(int count) {
    return count == 1 ? QStringLiteral("Entered 1 scheduled transaction")
                      : QStringLiteral("Entered %1 scheduled transactions").arg(count);
}

QDate toQDate(const DateTime& dt) {
    return dt.isSet() ? QDate(dt.year, dt.month, dt.day) : QDate();
}

DateTime atStartOfDay(const QDate& day) {
    return fromQDateTime(QDateTime(day, QTime(0, 0)));
}
