#include "app/operations_logic.h"

#include "app/amountfield.h"
#include "model/budget.h"
#include "model/prompter.h"

#include <algorithm>
#include <limits>
#include <map>

namespace {
constexpr int kMessageLimit = 1023;

QString currency(Amount a) {
    return formatAmount(a, true);
}
} // namespace

QString formatMessage(const QString& pattern, const QStringList& args) {
    QString out;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'%' && i + 1 < pattern.size() && pattern.at(i + 1).isDigit()) {
            const int n = pattern.at(i + 1).digitValue();
            if (n >= 1 && n <= args.size()) {
                out += args.at(n - 1);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return cutText(out, kMessageLimit);
}

namespace {
// "Over Spent" for an envelope that holds less than the amount (a stored, negative value).
bool envelopeCovers(Prompter& prompter, const AccountEnvelope& envelope, std::int64_t balance,
                    Amount amount) {
    if (balance + amount >= 0)
        return true;
    const QString text = formatMessage(
        "The '%1' envelope has a balance of %2, which is less than the transaction "
        "amount of %3. Record anyway?",
        {envelope.getName(), currency(clampAmount(balance)), currency(amountMagnitude(amount))});
    return prompter.askYesNo("Over Spent", text, PromptIcon::Exclamation);
}

// The account question (never for a card), then the zero amount and the missing payee.
bool paymentQuestions(Prompter& prompter, const Account& account, Amount amount,
                      const QString& payee) {
    if (!account.isCCAccount() && static_cast<std::int64_t>(account.getBalance()) + amount < 0) {
        const QString text = formatMessage(
            "The '%1' account has a balance of %2, which is less than the transaction "
            "amount of %3. Record anyway?",
            {account.getName(), currency(account.getBalance()), currency(amountMagnitude(amount))});
        if (!prompter.askYesNo("Over Spent", text, PromptIcon::Exclamation))
            return false;
    }
    if (amount == 0 &&
        !prompter.askYesNo("Zero Sum Transaction", "The transaction amount is zero. Record anyway?",
                           PromptIcon::Exclamation))
        return false;
    if (payee.isEmpty() &&
        !prompter.askYesNo("Zero Sum Transaction",
                           "This transaction has no payee. This is valid but weird. Record anyway?",
                           PromptIcon::Exclamation))
        return false;
    return true;
}
} // namespace

bool confirmNewExpense(Prompter& prompter, const Budget& budget, Amount amount, ItemId envelopeId,
                       ItemId accountId, const QString& payee) {
    const AccountEnvelope* envelope = budget.findEnvelope(envelopeId);
    const Account* account = budget.findAccount(accountId);
    if (!envelope || !account)
        return true;
    return envelopeCovers(prompter, *envelope, envelope->getBalance(), amount) &&
           paymentQuestions(prompter, *account, amount, payee);
}

bool confirmNewSplit(Prompter& prompter, const Budget& budget, const std::vector<SplitPart>& parts,
                     ItemId accountId, const QString& payee) {
    const Account* account = budget.findAccount(accountId);
    if (!account)
        return true;
    // Each part asks about its envelope as it will be after the parts before it, so two
    // parts of one envelope are not both measured against its whole balance.
    std::map<ItemId, std::int64_t> left;
    for (const SplitPart& part : parts) {
        const AccountEnvelope* envelope = budget.findEnvelope(part.envelope);
        if (!envelope)
            continue;
        auto [at, fresh] = left.try_emplace(part.envelope, envelope->getBalance());
        if (!envelopeCovers(prompter, *envelope, at->second, part.amount))
            return false;
        at->second = std::max<std::int64_t>(0, at->second + part.amount); // the envelope floor
    }
    return paymentQuestions(prompter, *account, clampAmount(splitTotal(parts)), payee);
}

bool confirmTransfer(Prompter& prompter, const Budget& budget, ItemId fromAccount, Amount amount) {
    const Account* from = budget.findAccount(fromAccount);
    if (!from || from->getBalance() >= amount)
        return true;
    const QString text = formatMessage(
        "Account '%1' has a balance of %2 and the transfer amount is %3. This original "
        "account's resulting balance will be negative. Proceed?",
        {from->getName(), currency(from->getBalance()), currency(amount)});
    return prompter.askYesNo("Negative Transfer", text, PromptIcon::Exclamation);
}

bool confirmAccountBalance(Prompter& prompter, bool creditCard, Amount balance) {
    if (!creditCard || balance <= 0)
        return true;
    return prompter.askYesNo("Confirm Balance",
                             "Balances on credit cards are usually zero or negative. The balance "
                             "for this credit card is positive. Is that intended?",
                             PromptIcon::Exclamation);
}

FundingChoice preselectedFundingChoice(const AccountEnvelope& envelope) {
    if (envelope.savingsGoal() != 0)
        return FundingChoice::AddBudgeted;
    if (envelope.getBudgeted() == 0)
        return FundingChoice::Arbitrary;
    return FundingChoice::SetToBudgeted;
}

Amount fundingAddAmount(const AccountEnvelope& envelope, FundingChoice choice) {
    const std::int64_t budget = amountMagnitude(envelope.getBudgeted());
    if (choice == FundingChoice::SetToBudgeted)
        return clampAmount(budget - envelope.getBalance());
    return clampAmount(budget);
}

Amount fundingNewBalance(const AccountEnvelope& envelope, FundingChoice choice, Amount typed) {
    const std::int64_t budget = amountMagnitude(envelope.getBudgeted());
    switch (choice) {
    case FundingChoice::AddBudgeted:
        return clampAmount(envelope.getBalance() + budget);
    case FundingChoice::SetToBudgeted:
        return clampAmount(budget);
    case FundingChoice::Arbitrary:
        return std::max<Amount>(typed, 0); // an envelope never holds less than nothing
    case FundingChoice::None:
        break;
    }
    return 0;
}

Amount availableDollars(const Budget& budget) {
    std::int64_t total = 0;
    for (const AccountBase* item : budget.itemsOfType(ItemType::Account)) {
        const auto* account = static_cast<const Account*>(item);
        if (account->contributesToBudget() && !account->isCCAccount())
            total += account->getBalance();
    }
    for (const AccountBase* item : budget.itemsOfType(ItemType::Folder))
        for (const AccountBase* child : static_cast<const AccountGroup*>(item)->children())
            total -= child->getBalance();
    return clampAmount(total);
}

namespace {
bool isSavingsGoal(const AccountBase* item) {
    return item->getType() == ItemType::Envelope &&
           static_cast<const AccountEnvelope*>(item)->savingsGoal() != 0;
}
} // namespace

Amount costToFullyFund(const AccountGroup& folder) {
    std::int64_t total = 0;
    for (const AccountBase* child : folder.children()) {
        total += amountMagnitude(child->getBudgeted());
        if (!isSavingsGoal(child))
            total -= child->getBalance();
    }
    return clampAmount(total);
}

std::vector<AccountEnvelope*> movableEnvelopes(const Budget& budget) {
    std::vector<AccountEnvelope*> result;
    for (AccountBase* item : budget.itemsOfType(ItemType::Envelope)) {
        if (item->id() == kChargesEnvelopeId || item->isHidden() || item->isReadOnly())
            continue;
        const AccountGroup* folder = item->getParent();
        if (folder && folder->isHidden())
            continue;
        result.push_back(static_cast<AccountEnvelope*>(item));
    }
    return result;
}

QString moveMoneyProblem(const Budget& budget, const MoveMoneyForm& form) {
    const std::vector<AccountEnvelope*> movable = movableEnvelopes(budget);
    auto find = [&](ItemId id) -> const AccountEnvelope* {
        for (const AccountEnvelope* e : movable)
            if (e->id() == id)
                return e;
        return nullptr;
    };
    const AccountEnvelope* from = find(form.from);
    const AccountEnvelope* to = find(form.to);
    if (!from || !to)
        return QStringLiteral("Choose the envelope to take the money from and the one to put "
                              "it in.");
    if (from == to)
        return QStringLiteral("Choose two different envelopes.");
    if (form.amount <= 0)
        return QStringLiteral("Enter an amount above zero.");
    // An envelope never holds less than nothing, so more than its balance cannot leave it.
    if (form.amount > from->getBalance())
        return formatMessage(QStringLiteral("'%1' holds only %2."),
                             {from->getName(), currency(from->getBalance())});
    if (std::int64_t(to->getBalance()) + form.amount > std::numeric_limits<Amount>::max())
        return formatMessage(QStringLiteral("'%1' cannot hold that much."), {to->getName()});
    return {};
}

bool moveMoney(Budget& budget, const MoveMoneyForm& form) {
    if (!moveMoneyProblem(budget, form).isEmpty())
        return false;
    budget.findEnvelope(form.from)->adjustBalance(negatedAmount(form.amount));
    budget.findEnvelope(form.to)->adjustBalance(form.amount);
    return true;
}

QString fundFolderSummary(const Budget& budget, const AccountGroup& folder) {
    return formatMessage("Available dollars: %1\nCost to fully fund: %2\n",
                         {currency(availableDollars(budget)), currency(costToFullyFund(folder))});
}

void fundFolderEnvelopes(AccountGroup& folder) {
    for (AccountBase* child : folder.children()) {
        if (child->getType() != ItemType::Envelope)
            continue;
        const std::int64_t budget = amountMagnitude(child->getBudgeted());
        if (isSavingsGoal(child))
            child->adjustBalance(clampAmount(budget));
        else
            child->adjustBalance(clampAmount(budget - child->getBalance()));
    }
}

QString hideQuestion(const AccountBase& item) {
    switch (item.getType()) {
    case ItemType::Account:
        return formatMessage("Hiding an account will mark it as 'off budget' and remove it from "
                             "view. Are you sure you want to hide '%1'?",
                             {item.getName()});
    case ItemType::Folder:
        return formatMessage("Hiding a folder will also hide envelopes in the folder. Any funds "
                             "assigned to hidden envelopes will be returned to available funds. "
                             "Are you sure you want to hide '%1'?",
                             {item.getName()});
    case ItemType::Envelope:
        break;
    }
    return formatMessage("Any funds assigned to hidden envelopes will be returned to available "
                         "funds. Are you sure you want to hide '%1'?",
                         {item.getName()});
}

HelpText transactionHelp() {
    return {"About Transactions\n",
            {"A transaction is a record of an expense. Transactions are paid from accounts and "
             "tracked against envelopes. You can edit transactions by double clicking them or "
             "through their right click menu."}};
}

HelpText depositHelp() {
    return {"About Deposits\n",
            {"Money can be deposited via the deposit action. A deposit can be edited after it's "
             "created through the transaction list."}};
}

HelpText transferHelp() {
    return {"About Transfers\n",
            {"Money can be moved from one account to another via transfer. A transfer can be "
             "edited after it's created through the transaction list."}};
}

HelpText cardPaymentHelp() {
    return {"About Credit Card Payments\n",
            {"Credit cards are paid from another account and are tracked through the matching "
             "envelope that was automatically created when the account was created. When an "
             "expense is recorded against a credit card account, money is unassigned from the "
             "original envelope, and assigned to the corresponding credit card payment envelope. "
             "When the credit card is paid, money is unassigned from the matching CC payment "
             "envelope."}};
}

HelpText fundEnvelopeHelp() {
    return {"About Envelope Funding\n",
            {"In Tallykeep funds are assigned to envelopes. When transactions are recorded, funds "
             "assigned to the selected envelope are reduced by the transaction amount. When an "
             "envelope is out of money, spending from that envelope should stop until more funds "
             "are added.\n\n",
             "This dialog box allows you to assign money to an envelope. It's important to note "
             "that money stays in its account when assigned to an envelope. When money is "
             "assigned, you'll have less budgetable dollars available to place in other "
             "envelopes, but no money actually moves. Think of envelopes as a way to view and "
             "organize the money in your account(s)."}};
}

HelpText moveMoneyHelp() {
    return {"About Moving Money\n",
            {"Money can be moved from one envelope to another in one step: choose the envelope "
             "it comes from, the one it goes to, and the amount. Undo puts both back."}};
}

HelpText fundEnvelopesHelp() {
    return {"About Envelope Funding\n",
            {"In Tallykeep funds are assigned to envelopes. When expenses are recorded against an "
             "envelope, funds in that envelope are reduced by the transaction amount. When an "
             "envelope is out of money, spending from that envelope should stop until more funds "
             "are added.\n\n",
             "This dialog box allows you to assign money to all envelopes in a folder. It's "
             "important to note that money stays in its account when assigned to envelopes. When "
             "money is assigned, you'll have less budgetable dollars available to place in other "
             "envelopes, but no money actually moves. Think of envelopes as a way to view and "
             "organize the money in your account(s)."}};
}

HelpText accountHelp() {
    return {"About Accounts\n",
            {"An account in Tallykeep has a name and a balance. The balance can be positive, "
             "zero, or negative.\n\n",
             "If an account is in-budget, the funds in that account can be assigned to "
             "envelopes.\n\n",
             "When you create a credit card account, a matching 'credit card payment' envelope "
             "will be created. When you pay expenses with the credit card, funds move from the "
             "original envelope to the credit card envelope.\n\n",
             "When you pay a credit card, funds are withdrawn from the credit card envelope.\n\n",
             "Deposits, transfers, and credit card payments are entered through action icons in "
             "the account list.\n\n"}};
}

HelpText folderHelp() {
    return {"About Folders\n",
            {"Folders help organize envelopes. The recommended approach is to create folders for "
             "each monthly income event. If you're paid twice a month, create folders titled "
             "'paycheck1' and 'paycheck2'. Use the paycheck to fund the envelopes in the folder "
             "when it arrives.\n\n",
             "You can set expense limits for folders. This helps organize the budget. If your "
             "folders are aligned with paychecks, set the expense limit to the usual paycheck "
             "amount. As envelopes are added to the folder, you'll be able to see how close you "
             "are to the limit."}};
}

HelpText envelopeHelp() {
    return {"About Envelopes\n",
            {"Envelopes are used to plan and track how money is spent. Examples of envelopes "
             "include 'Dining out', 'Utilities', and 'Car payment'. Envelopes have a budget. This "
             "is a best guess of how much you'll spend in a month. You can adjust this value at "
             "any time by editing the Envelope.\n\n",
             "In Tallykeep funds are assigned to envelopes. When transactions are recorded, funds "
             "assigned to the selected envelope are reduced by the transaction amount. When an "
             "envelope is out of money, spending in that envelope should stop until more funds "
             "are added.\n\n",
             "Transactions are recorded by clicking the 'record expense' icon next to the "
             "envelope, or through the right click menu. If the details of transactions in an "
             "envelope are often the same (i.e. a car payment), you can set those values here. "
             "When you create a transaction in this envelope the settings will be filled in for "
             "you. You can adjust them as needed when recording new transactions."}};
}

HelpText hideHelp() {
    return {"About hiding things\n",
            {"In Tallykeep there is no delete. If you want an item out-of-view, hide it. Hiding "
             "accounts mark them as off budget. Hiding envelopes returns any assigned funds."}};
}
