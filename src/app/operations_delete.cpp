// Deleting transactions from the list.

#include "app/operations.h"

#include "app/amountfield.h"
#include "app/operations_logic.h"
#include "app/shell.h"
#include "app/transactionlist.h"
#include "model/budget.h"
#include "model/prompter.h"
#include "model/split.h"

#include <algorithm>
#include <map>
#include <set>

namespace {
// The payments the transactions belong to, each once: a split's parts count as one.
std::vector<std::vector<const Transaction*>>
paymentsOf(const Budget& budget, const std::vector<const Transaction*>& transactions) {
    // One pass over the budget finds the parts of every split chosen, however many.
    std::map<quint32, std::vector<const Transaction*>> parts;
    for (const Transaction* t : transactions)
        if (t->split != 0)
            parts[t->split];
    if (!parts.empty())
        for (const Transaction* other : budget.transactions())
            if (const auto found = parts.find(other->split); found != parts.end())
                found->second.push_back(other);
    std::vector<std::vector<const Transaction*>> payments;
    std::set<quint32> splits;
    for (const Transaction* t : transactions) {
        if (t->split == 0) {
            payments.push_back({t});
        } else if (splits.insert(t->split).second) {
            std::vector<const Transaction*>& payment = parts[t->split];
            payments.push_back(payment.empty() ? std::vector<const Transaction*>{t} : payment);
        }
    }
    return payments;
}
} // namespace

QString deleteQuestion(const Budget& budget, const std::vector<const Transaction*>& transactions) {
    const auto payments = paymentsOf(budget, transactions);
    if (payments.size() == 1) {
        const Transaction& t = *payments.front().front();
        return formatMessage(
            QStringLiteral("Delete the transaction of %1 to %2 for %3?"),
            {formatDate(t.transactionTime, DateStyle::ShortDate),
             transactionCellText(budget, t, PayeeColumn),
             formatAmount(amountMagnitude(paymentAmount(payments.front())), true)});
    }
    return QStringLiteral("Delete these %1 transactions?").arg(payments.size());
}

void removeTransactions(Budget& budget, const std::vector<const Transaction*>& transactions) {
    for (const auto& payment : paymentsOf(budget, transactions))
        for (const Transaction* t : payment)
            budget.removeTransaction(t);
}

bool deleteTransactions(Shell& shell, std::vector<const Transaction*> transactions) {
    Budget& budget = shell.budget();
    // Only transactions still in the budget, each once.
    std::vector<const Transaction*> present;
    for (const Transaction* t : transactions) {
        if (t && std::find(present.begin(), present.end(), t) == present.end() &&
            budget.containsTransaction(t))
            present.push_back(t);
    }
    if (present.empty())
        return false;
    if (!confirmReconciledChange(shell, present))
        return false;
    if (!shell.prompter().askYesNo(QStringLiteral("Delete transaction"),
                                   deleteQuestion(budget, present), PromptIcon::Question))
        return false;
    removeTransactions(budget, present);
    return true;
}
