#include "model/health.h"

#include "model/budget.h"

namespace {
QString currency(Amount value) {
    return formatAmount(value, true);
}

void body(StyledText& out, const QString& text, bool red = false) {
    StyledRun run;
    run.text = text;
    run.red = red;
    out.push_back(run);
}
} // namespace

StyledText buildBudgetHealth(const Budget& budget) {
    StyledText out;
    StyledRun heading;
    heading.text = QStringLiteral("State of the Budget\n");
    heading.bold = true;
    heading.underline = true;
    heading.heading = true;
    out.push_back(heading);

    const auto accounts = budget.itemsOfType(ItemType::Account);
    const auto folders = budget.itemsOfType(ItemType::Folder);
    const auto envelopes = budget.itemsOfType(ItemType::Envelope);

    if (accounts.empty()) {
        body(out,
             QStringLiteral("You don't have any accounts. Accounts represent money (or debt).\n\n"
                            "Examples of common account types are checking, savings, and credit "
                            "card.\n\nClick 'Add Account...' to add an account to Tallykeep.\n\n"));
    } else if (folders.empty()) {
        body(out,
             QStringLiteral("You don't have any folders. Folders help organize envelopes.\n\n"
                            "A common strategy is to create a folder for each pay period. For "
                            "example, if you're paid on the 15th and 31st you might create folders "
                            "titled '15th' and '31st'.\n\nClick 'Add Folder...' to add a folder to "
                            "Tallykeep.\n\n"));
    } else if (envelopes.empty()) {
        body(out, QStringLiteral(
                      "You don't have any envelopes. Envelopes are used to reserve money for "
                      "expenses. Envelopes have a name and a monthly budget.\n\nYou'll add "
                      "money to your envelopes and then pay expenses from those envelopes as "
                      "needed. If your envelope runs out of money you'll need to replenish "
                      "that envelope.\n\nClick the new envelope icon next to a folder name to "
                      "create an envelope.\n\n"));
    } else {
        for (const AccountBase* item : accounts) {
            const auto* account = static_cast<const Account*>(item);
            if (account->getBalance() < 0 && !account->isCCAccount())
                body(out,
                     QStringLiteral("Account '%1' has a negative balance %2\n\n")
                         .arg(account->getName(), currency(account->getBalance())),
                     true);
        }
        const Amount inBudget = budget.inBudgetTotal();
        const Amount assigned = budget.assignedTotal();
        const std::int64_t available = std::int64_t(inBudget) - assigned;
        if (available >= 0) {
            body(out, QStringLiteral("You have %1 of %2 available for budgeting\n\n")
                          .arg(currency(clampAmount(available)), currency(inBudget)));
        } else if (assigned != 0) {
            body(out,
                 QStringLiteral("You have %1 assigned to envelopes but only %2 in in-budget "
                                "accounts. Deposit %3 or remove funds from envelopes to "
                                "correct this issue.\n\n")
                     .arg(currency(assigned), currency(inBudget),
                          currency(amountMagnitude(available))),
                 true);
        }
    }

    // One pass over the history serves every folder and envelope below.
    const MonthFlows flows = MonthFlows::compute(budget);
    const QString over = QStringLiteral("over");
    for (const AccountBase* item : folders) {
        if (item->isReadOnly())
            continue;
        const auto* folder = static_cast<const AccountGroup*>(item);
        const std::int64_t actual = flows.flowOf(*folder);
        const std::int64_t budgeted = folder->totalBudgeted();
        const std::int64_t limit = folder->expenseLimit();
        if (budgeted > actual)
            body(out,
                 QStringLiteral("Folder '%1' - Monthly expenses are %2 budget by %3\n\n")
                     .arg(folder->getName(), over, currency(clampAmount(budgeted - actual))),
                 true);
        if (limit != 0) {
            if (limit > actual)
                body(out,
                     QStringLiteral("Folder '%1' - Monthly expenses are %2 limit by %3\n\n")
                         .arg(folder->getName(), over, currency(clampAmount(limit - actual))),
                     true);
            if (limit > budgeted)
                body(out,
                     QStringLiteral("Folder '%1' - Monthly budget is %2 limit by %3\n\n")
                         .arg(folder->getName(), over, currency(clampAmount(limit - budgeted))),
                     true);
        }
    }

    for (const AccountBase* item : envelopes) {
        if (item->id() == kChargesEnvelopeId)
            continue;
        const std::int64_t budgeted = item->getBudgeted();
        const std::int64_t actual = flows.flowOf(*item);
        if (budgeted > actual)
            body(out,
                 QStringLiteral("Envelope '%1' - Monthly expenses are over budget by %2\n\n")
                     .arg(item->getName(), currency(amountMagnitude(budgeted - actual))),
                 true);
    }

    if (!(accounts.empty() && folders.empty() && envelopes.empty())) {
        StyledRun tip;
        tip.text = QStringLiteral("TIP: ");
        tip.bold = true;
        out.push_back(tip);
        body(out,
             QStringLiteral("Right click accounts, folders, envelopes and transactions for more "
                            "options\n\n"));
    }
    return out;
}
