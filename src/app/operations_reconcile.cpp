// Reconciling an account with its bank statement, and the question that guards what a
// reconcile settled.

#include "app/dialogdriver.h"
#include "app/operations.h"
#include "app/operations_logic.h"
#include "app/reconciledialog.h"
#include "app/shell.h"
#include "model/budget.h"
#include "model/clock.h"
#include "model/prompter.h"
#include "model/reconcile.h"

#include <QDateTime>

QString reconciledChangeQuestion(const Budget& budget,
                                 const std::vector<const Transaction*>& transactions) {
    int reconciled = 0;
    DateTime latest;
    for (const Transaction* t : transactions) {
        if (!t || !isReconciled(*t))
            continue;
        ++reconciled;
        const DateTime date = reconciledStatementOf(budget, *t);
        if (date.isSet() && (!latest.isSet() || isEarlier(latest, date)))
            latest = date;
    }
    if (reconciled == 0)
        return {};
    const QString statement = latest.isSet() ? formatDate(latest, DateStyle::ShortDate)
                                             : QStringLiteral("an earlier date");
    if (reconciled == 1 && transactions.size() == 1)
        return formatMessage(QStringLiteral("This transaction was reconciled with the statement "
                                            "of %1. Change it anyway?"),
                             {statement});
    return formatMessage(QStringLiteral("%1 of these transactions were reconciled with the "
                                        "statement of %2 or before. Change them anyway?"),
                         {QString::number(reconciled), statement});
}

bool confirmReconciledChange(Shell& shell, const std::vector<const Transaction*>& transactions) {
    const QString question = reconciledChangeQuestion(shell.budget(), transactions);
    return question.isEmpty() || shell.prompter().askYesNo(QStringLiteral("Reconciled transaction"),
                                                           question, PromptIcon::Exclamation);
}

namespace {
HelpText reconcileHelp() {
    return {QStringLiteral("Reconcile"),
            {QStringLiteral("Type the date and ending balance of the bank's statement, then "
                            "tick every transaction the statement lists."),
             QStringLiteral("When the difference is zero, Finish marks them reconciled."),
             QStringLiteral("A difference you cannot find can be recorded as an adjustment.")}};
}
} // namespace

bool reconcileAccount(Shell& shell, Account* account) {
    if (!account)
        return false;
    Budget& budget = shell.budget();
    ReconcileDialog dialog(budget, *account, shell.dialogParent());
    if (!execWithHelp(shell, reconcileHelp(), &dialog))
        return false;
    const Amount statement = dialog.statementBalance();
    const DateTime day = fromQDateTime(dialog.statementDay().startOfDay());
    const std::int64_t difference = dialog.reconciliation().difference(statement);
    const bool adjust = dialog.withAdjustment() && difference != 0;
    if (!adjust && difference != 0)
        return false;
    if (adjust &&
        !shell.prompter().askYesNo(
            QStringLiteral("Reconcile"),
            formatMessage(QStringLiteral("The cleared balance differs from the statement by %1. "
                                         "Record a \"Reconciliation adjustment\" of %1 on %2 so "
                                         "that %3 agrees with the statement?"),
                          {formatAmount(clampAmount(difference), true),
                           formatDate(day, DateStyle::ShortDate), account->getName()}),
            PromptIcon::Question))
        return false;
    // The adjustment is dated the statement's day at the present time of day.
    const DateTime now = Clock::now();
    const DateTime at =
        fromQDateTime(QDateTime(dialog.statementDay(), QTime(now.hour, now.minute, now.second)));
    finishReconcile(budget, *account, dialog.reconciliation(), day, statement, adjust, at);
    return true;
}
