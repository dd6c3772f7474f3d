#include "model/treevalues.h"

#include "model/budget.h"
#include "model/clock.h"

AmountColour amountTextColour(Amount value, bool negativeIsBad) {
    if (value == 0)
        return AmountColour::Grey;
    if (value < 0 && negativeIsBad)
        return AmountColour::Red;
    return AmountColour::Normal;
}

namespace {
QString currency(std::int64_t value) {
    return formatAmount(clampAmount(value), true);
}

void fillEnvelope(const AccountEnvelope& envelope, const MonthFlows& flows, TreeRowValues& row) {
    if (envelope.savingsGoal() != 0)
        row.barTarget = envelope.savingsGoal();
    else if (envelope.getBudgeted() != 0)
        row.barTarget = negatedAmount(envelope.getBudgeted());

    if (!envelope.virtualAccount())
        return;
    row.showBalance = true;
    if (envelope.savingsGoal() != 0) {
        row.information = QStringLiteral("%1 saved towards goal of %2")
                              .arg(currency(row.balance), currency(envelope.savingsGoal()));
        return;
    }
    const SpendingAverages averages = flows.treeAverages(envelope);
    if (averages.days != 0 && averages.perMonth != 0) {
        row.information = QStringLiteral("Monthly average through %1 is %2")
                              .arg(formatDate(previousMonth(Clock::now()), DateStyle::YearMonth),
                                   currency(-std::int64_t(averages.perMonth)));
    }
}

void fillFolder(const AccountGroup& folder, TreeRowValues& row) {
    if (folder.isReadOnly() || folder.expenseLimit() == 0)
        return;
    const std::int64_t total = folder.totalBudgeted();
    const std::int64_t limit = folder.expenseLimit();
    const std::int64_t over = total - limit;
    const QString pattern = over < 0 ? QStringLiteral("  %1 of %2 budgeted [%3 over limit!]")
                                     : QStringLiteral("  %1 of %2 budgeted [%3 unbudgeted]");
    row.information = pattern.arg(currency(amountMagnitude(total)), currency(-limit),
                                  currency(amountMagnitude(over)));
}
} // namespace

TreeRowValues computeTreeRowValues(const Budget& budget, const AccountBase& item,
                                   const MonthFlows& flows) {
    TreeRowValues row;
    if (item.getType() == ItemType::Folder)
        row.budgeted = item.totalBudgeted();
    else
        row.budgeted = item.getBudgeted();
    row.actual = flows.flowOf(item);
    row.difference = clampAmount(std::int64_t(row.actual) - row.budgeted);
    row.balance = item.getBalance();

    if (item.getType() == ItemType::Envelope) {
        fillEnvelope(static_cast<const AccountEnvelope&>(item), flows, row);
        std::size_t index = 0;
        const Occurrence due = nextDueForEnvelope(budget, item.id(), &index);
        if (due.index >= 0)
            row.information = QStringLiteral("%1 due %2")
                                  .arg(currency(amountMagnitude(budget.schedules()[index].amount)),
                                       formatDate(atStartOfDay(due.date), DateStyle::ShortDate));
    } else if (item.getType() == ItemType::Folder)
        fillFolder(static_cast<const AccountGroup&>(item), row);
    return row;
}

QString treeZoneTooltip(TreeZone zone, const QString& itemName) {
    switch (zone) {
    case TreeZone::EditEnvelope:
        return QStringLiteral("Edit the '%1' envelope").arg(itemName);
    case TreeZone::RecordExpense:
        return QStringLiteral("Record expense in the '%1' envelope").arg(itemName);
    case TreeZone::FundEnvelope:
        return QStringLiteral("Assign money to the '%1' envelope").arg(itemName);
    case TreeZone::AddEnvelope:
        return QStringLiteral("Add a new envelope to the '%1' folder").arg(itemName);
    case TreeZone::EditFolder:
        return QStringLiteral("Edit the '%1' folder").arg(itemName);
    case TreeZone::FundFolder:
        return QStringLiteral("Assign money to the envelopes in the '%1' folder").arg(itemName);
    case TreeZone::AddFolder:
        return QStringLiteral("Add folder");
    case TreeZone::None:
        break;
    }
    return QString();
}
