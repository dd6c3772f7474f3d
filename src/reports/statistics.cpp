#include "reports/statistics.h"

#include "model/clock.h"
#include "model/prompter.h"

namespace {
bool passes(const Transaction& t, int month, int year) {
    if (t.type != TransactionType::Expense)
        return false;
    if (year > 0 && t.transactionTime.year != year)
        return false;
    if (month > 0 && t.transactionTime.month != month)
        return false;
    return true;
}

struct Sums {
    std::map<ItemId, std::int64_t> byEnvelope;
    int days = 0;
};

Sums sumExpenses(const Budget& budget, int month, int year) {
    Sums sums;
    bool counted = false;
    DateTime earliest;
    for (const auto& t : budget.transactions()) {
        if (!passes(*t, month, year))
            continue;
        sums.byEnvelope[t->category] += t->amount;
        if (!counted || isEarlier(t->transactionTime, earliest))
            earliest = t->transactionTime;
        counted = true;
    }
    const DateTime now = Clock::now();
    if (!counted)
        earliest = now;
    sums.days = int(wholeDaysBetween(now, earliest));
    return sums;
}
} // namespace

int daysOfExpenseData(const Budget& budget, int month, int year) {
    return sumExpenses(budget, month, year).days;
}

std::map<ItemId, Amount> expensesByEnvelope(ReportState& state, Prompter& prompter,
                                            const Budget& budget, int month, int year) {
    const Sums sums = sumExpenses(budget, month, year);
    if (sums.days < 61 && !state.warned) {
        state.warned = true;
        prompter.inform(QStringLiteral("Not enough data"),
                        QStringLiteral("There are currently %1 day(s) of data. Reports are only "
                                       "meaningful after two months of data.")
                            .arg(sums.days),
                        PromptIcon::None);
    }
    std::map<ItemId, Amount> result;
    for (const auto& [id, sum] : sums.byEnvelope)
        result.emplace(id, clampAmount(sum));
    return result;
}
