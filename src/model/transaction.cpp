#include "model/transaction.h"

#include "model/budget.h"
#include "model/clock.h"

#include <cmath>

QString transactionTypeName(TransactionType type) {
    switch (type) {
    case TransactionType::Expense:
        return QStringLiteral("Expense");
    case TransactionType::Deposit:
        return QStringLiteral("Deposit");
    case TransactionType::Transfer:
        return QStringLiteral("Transfer");
    case TransactionType::CCPayment:
        return QStringLiteral("CC Payment");
    }
    return QString();
}

std::optional<TransactionType> transactionTypeFromName(const QString& name) {
    for (TransactionType type : {TransactionType::Expense, TransactionType::Deposit,
                                 TransactionType::Transfer, TransactionType::CCPayment}) {
        if (name == transactionTypeName(type))
            return type;
    }
    return std::nullopt;
}

const char* clearedStateWord(ClearedState state) {
    switch (state) {
    case ClearedState::Cleared:
        return "cleared";
    case ClearedState::Reconciled:
        return "reconciled";
    case ClearedState::Uncleared:
        break;
    }
    return nullptr;
}

ClearedState clearedStateOfWord(const QString& text) {
    const QString word = text.trimmed();
    for (ClearedState state : {ClearedState::Cleared, ClearedState::Reconciled})
        if (word.compare(QLatin1String(clearedStateWord(state)), Qt::CaseInsensitive) == 0)
            return state;
    return ClearedState::Uncleared;
}

Transaction makeTransaction(TransactionType type, Amount amount, ItemId accountFrom,
                            ItemId accountTo, ItemId category, const QString& payee,
                            const QString& description, std::optional<DateTime> time) {
    Transaction t;
    t.type = type;
    t.amount = amount;
    t.accountFrom = accountFrom;
    t.accountTo = accountTo;
    t.category = category;
    t.payee = payee;
    t.description = description;
    t.transactionTime = time ? *time : Clock::now();
    return t;
}

const Transaction* createTransaction(Budget& budget, TransactionType type, Amount amount,
                                     ItemId accountFrom, ItemId accountTo, ItemId category,
                                     const QString& payee, const QString& description,
                                     std::optional<DateTime> time) {
    return budget.loadTransaction(
        makeTransaction(type, amount, accountFrom, accountTo, category, payee, description, time));
}

// A transfer's amount is what arrives, a card payment's is stored negative like an expense:
// the paying side loses the magnitude, the receiving side gains it.
std::int64_t fromAccountChange(const Transaction& t) {
    return t.type == TransactionType::Transfer ? -std::int64_t(t.amount) : t.amount;
}

std::int64_t toAccountChange(const Transaction& t) {
    return t.type == TransactionType::CCPayment ? -std::int64_t(t.amount) : t.amount;
}

std::int64_t accountChange(const Transaction& t, ItemId account) {
    std::int64_t change = 0;
    if (t.accountFrom == account)
        change += fromAccountChange(t);
    if (t.accountTo == account)
        change += toAccountChange(t);
    return change;
}

ClearedState clearedStateOn(const Transaction& t, ItemId account) {
    if (account == kNoId)
        return ClearedState::Uncleared;
    if (t.accountFrom == account)
        return t.clearedFrom;
    if (t.accountTo == account)
        return t.clearedTo;
    return ClearedState::Uncleared;
}

bool setClearedStateOn(Transaction& t, ItemId account, ClearedState state) {
    if (account == kNoId)
        return false;
    bool touched = false;
    // A transfer from an account to itself has one state, kept on both sides.
    if (t.accountFrom == account) {
        t.clearedFrom = state;
        touched = true;
    }
    if (t.accountTo == account) {
        t.clearedTo = state;
        touched = true;
    }
    return touched;
}

ItemId mainSideAccount(const Transaction& t) {
    if (t.type == TransactionType::Deposit || t.accountFrom == kNoId)
        return t.accountTo;
    return t.accountFrom;
}

void applyTransaction(Budget& budget, const Transaction& t, bool reverse) {
    const std::int64_t s = reverse ? -1 : 1;
    const std::int64_t amount = t.amount;
    AccountBase* from = budget.findItem(t.accountFrom);
    AccountBase* to = budget.findItem(t.accountTo);
    AccountBase* envelope = budget.findItem(t.category);

    if (from)
        from->adjustBalance(clampAmount(s * fromAccountChange(t)));
    if (from && from->getType() == ItemType::Account &&
        static_cast<Account*>(from)->isCCAccount()) {
        if (AccountBase* charges = budget.findItem(kChargesEnvelopeId))
            charges->adjustBalance(clampAmount(s * -amount));
    }
    if (to)
        to->adjustBalance(clampAmount(s * toAccountChange(t)));
    if (envelope)
        envelope->adjustBalance(clampAmount(s * amount));
}

Amount actualThisMonth(const Budget& budget, const AccountBase& item) {
    std::set<ItemId> ids;
    item.collectIds(ids);
    const DateTime now = Clock::now();
    std::int64_t sum = 0;
    for (const auto& t : budget.transactions()) {
        if (isSameMonth(t->transactionTime, now) && ids.count(t->category))
            sum += t->amount;
    }
    return clampAmount(sum);
}

MonthFlows MonthFlows::compute(const Budget& budget) {
    MonthFlows flows;
    flows.budget_ = &budget;
    const DateTime now = Clock::now();
    for (const auto& t : budget.transactions()) {
        if (isSameMonth(t->transactionTime, now))
            flows.byCategory_[t->category] += t->amount;
    }
    return flows;
}

Amount MonthFlows::flowOf(const AccountBase& item) const {
    std::set<ItemId> ids;
    item.collectIds(ids);
    std::int64_t sum = 0;
    for (ItemId id : ids) {
        auto it = byCategory_.find(id);
        if (it != byCategory_.end())
            sum += it->second;
    }
    return clampAmount(sum);
}

SpendingAverages MonthFlows::treeAverages(const AccountEnvelope& envelope) const {
    if (!budget_)
        return {};
    if (!treeHistory_)
        treeHistory_ = SpendingHistory::compute(*budget_, true, -1, -1);
    return treeHistory_->averagesOf(envelope);
}

namespace {
// The start of the averaging window before any transaction is looked at.
struct Window {
    DateTime first;
    DateTime last;
    double firstSerial = 0;
    double lastSerial = 0;
    bool cut = false; // drop expenses later than last
};

Window initialWindow(const AccountEnvelope& envelope, bool wholeHistory, bool throughPreviousMonth,
                     const DateTime& now) {
    Window w;
    if (wholeHistory) {
        w.last = now;
        w.first = envelope.createdDate();
    }
    if (throughPreviousMonth && w.last.isSet()) {
        w.last = endOfPreviousMonth(w.last);
        w.cut = true;
    }
    w.firstSerial = toSerialDay(w.first);
    w.lastSerial = toSerialDay(w.last);
    if (w.first.isSet() && w.last.isSet() && w.lastSerial < w.firstSerial) {
        w.first = w.last;
        w.firstSerial = w.lastSerial;
    }
    return w;
}

void widen(Window& w, const DateTime& when, double serial) {
    if (!w.first.isSet()) {
        w.first = when;
        w.firstSerial = serial;
    }
    if (!w.last.isSet()) {
        w.last = when;
        w.lastSerial = serial;
    }
    if (serial < w.firstSerial) {
        w.first = when;
        w.firstSerial = serial;
    }
    if (serial > w.lastSerial) {
        w.last = when;
        w.lastSerial = serial;
    }
}

bool passesFilters(const DateTime& when, int monthFilter, int yearFilter) {
    if (yearFilter > 0 && when.year != yearFilter)
        return false;
    if (monthFilter > 0 && when.month != monthFilter)
        return false;
    return true;
}

SpendingAverages finish(const Window& w, std::int64_t sum) {
    SpendingAverages result;
    const int months = std::max(1, monthsSpanned(w.first, w.last));
    result.perMonth = clampAmount(std::int64_t(std::trunc(double(sum) / months)));
    result.days = w.first.isSet() && w.last.isSet() ? daysSpanned(w.first, w.last) : 0;
    result.perDay = clampAmount(result.days ? sum / result.days : sum);
    return result;
}
} // namespace

SpendingAverages envelopeSpendingAverages(const Budget& budget, const AccountEnvelope& envelope,
                                          bool throughPreviousMonth, int monthFilter,
                                          int yearFilter) {
    const bool wholeHistory = monthFilter < 0 && yearFilter < 0;
    Window w = initialWindow(envelope, wholeHistory, throughPreviousMonth, Clock::now());
    std::int64_t sum = 0;
    const ItemId id = envelope.id();
    for (const auto& t : budget.transactions()) {
        if (t->category != id || t->type != TransactionType::Expense)
            continue;
        const double serial = toSerialDay(t->transactionTime);
        if (w.cut && serial > w.lastSerial)
            continue;
        if (!passesFilters(t->transactionTime, monthFilter, yearFilter))
            continue;
        widen(w, t->transactionTime, serial);
        sum += t->amount;
    }
    return finish(w, sum);
}

SpendingHistory SpendingHistory::compute(const Budget& budget, bool throughPreviousMonth,
                                         int monthFilter, int yearFilter) {
    SpendingHistory history;
    history.wholeHistory_ = monthFilter < 0 && yearFilter < 0;
    history.throughPreviousMonth_ = throughPreviousMonth;
    history.now_ = Clock::now();

    // The cut-off does not depend on the envelope: it comes from now alone.
    bool cut = false;
    double cutSerial = 0;
    if (history.wholeHistory_ && throughPreviousMonth) {
        cut = true;
        cutSerial = toSerialDay(endOfPreviousMonth(history.now_));
    }
    for (const auto& t : budget.transactions()) {
        if (t->type != TransactionType::Expense)
            continue;
        if (!passesFilters(t->transactionTime, monthFilter, yearFilter))
            continue;
        const double serial = toSerialDay(t->transactionTime);
        if (cut && serial > cutSerial)
            continue;
        auto [it, inserted] = history.byCategory_.try_emplace(t->category);
        Span& span = it->second;
        if (inserted || serial < span.firstSerial) {
            span.first = t->transactionTime;
            span.firstSerial = serial;
        }
        if (inserted || serial > span.lastSerial) {
            span.last = t->transactionTime;
            span.lastSerial = serial;
        }
        span.sum += t->amount;
    }
    return history;
}

SpendingAverages SpendingHistory::averagesOf(const AccountEnvelope& envelope) const {
    Window w = initialWindow(envelope, wholeHistory_, throughPreviousMonth_, now_);
    std::int64_t sum = 0;
    auto it = byCategory_.find(envelope.id());
    if (it != byCategory_.end()) {
        widen(w, it->second.first, it->second.firstSerial);
        widen(w, it->second.last, it->second.lastSerial);
        sum = it->second.sum;
    }
    return finish(w, sum);
}

bool compareByTime(const Transaction& a, const Transaction& b) {
    return toSerialDay(a.transactionTime) < toSerialDay(b.transactionTime);
}
