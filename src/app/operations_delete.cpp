// Deleting transactions from the list.

#include "app/operations.h"

#include "app/amountfield.h"
#include "app/operations_logic.h"
#include "app/shell.h"
#include "app/transactionlist.h"
#include "model/budget.h"
#include "model/prompter.h"

#include <algorithm>

QString deleteQuestion(const Budget& budget, const std::vector<const Transaction*>& transactions) {
    if (transactions.size() == 1) {
        const Transaction& t = *transactions.front();
        return formatMessage(QStringLiteral("Delete the transaction of %1 to %2 for %3?"),
                             {formatDate(t.transactionTime, DateStyle::ShortDate),
                              transactionCellText(budget, t, PayeeColumn),
                              formatAmount(amountMagnitude(t.amount), true)});
    }
    return QStringLiteral("Delete these %1 transactions?").arg(transactions.size());
}

void removeTransactions(Budget& budget, const std::vector<const Transaction*>& transactions) {
    for (const Transaction* t : transactions)
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
