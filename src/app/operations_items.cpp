// Funding envelopes and the add/edit commands of accounts, folders and envelopes.

#include "app/operations.h"

#include "app/amountfield.h"
#include "app/dialogdriver.h"
#include "app/fundingdialogs.h"
#include "app/operations_logic.h"
#include "app/pickers.h"
#include "app/settingsdialogs.h"
#include "app/shell.h"
#include "model/budget.h"
#include "model/clock.h"
#include "model/prompter.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>
#include <algorithm>

namespace {
// Runs a card-flag change through the model and puts whatever it brought back into view
// on screen: a folder shows its visible envelopes with it.
void ensureChargesEnvelopeShown(Shell& shell, Account* card) {
    Budget& budget = shell.budget();
    const std::vector<AccountGroup*> shownFolders = budget.folderOrder();
    const auto wasShown = [&](const AccountGroup* folder) {
        return std::find(shownFolders.begin(), shownFolders.end(), folder) != shownFolders.end();
    };
    const AccountEnvelope* before = budget.findEnvelope(kChargesEnvelopeId);
    const bool envelopeWasShown =
        before && !before->isHidden() && before->getParent() && wasShown(before->getParent());

    ensureCardChargesEnvelope(budget, card);

    auto* envelope = budget.findEnvelope(kChargesEnvelopeId);
    if (!envelope)
        return;
    AccountGroup* folder = envelope->getParent();
    if (folder && !wasShown(folder))
        shell.showItem(folder);
    else if (folder && !envelopeWasShown)
        shell.showItem(envelope);
}
} // namespace

bool fundEnvelope(Shell& shell, AccountBase* selected) {
    if (!selected || selected->getType() != ItemType::Envelope)
        return false;
    auto* envelope = static_cast<AccountEnvelope*>(selected);
    FundEnvelopeDialog dialog(*envelope, shell.dialogParent());
    if (!execWithHelp(shell, fundEnvelopeHelp(), &dialog))
        return false;
    envelope->adjustBalance(
        clampAmount(static_cast<std::int64_t>(dialog.newBalance()) - envelope->getBalance()));
    return true;
}

bool moveMoneyFrom(Shell& shell, AccountEnvelope* from) {
    MoveMoneyForm form;
    form.from = from ? from->id() : kNoId;
    MoveMoneyDialog dialog(shell.budget(), shell.prompter(), form, shell.dialogParent());
    if (!execWithHelp(shell, moveMoneyHelp(), &dialog))
        return false;
    // Both balances change inside the command's one undo step.
    return moveMoney(shell.budget(), dialog.form());
}

Account* chooseImportAccount(Shell& shell) {
    Budget& budget = shell.budget();
    const std::vector<Account*> accounts = pickableAccounts(budget, true);
    if (accounts.empty()) {
        shell.prompter().inform(QStringLiteral("Import Transactions"),
                                QStringLiteral("Add an account first: a statement is imported "
                                               "into one of your accounts."),
                                PromptIcon::None);
        return nullptr;
    }
    QDialog dialog(shell.dialogParent());
    dialog.setWindowTitle(QStringLiteral("Import Transactions"));
    auto* account = new QComboBox(&dialog);
    account->setObjectName(QStringLiteral("account"));
    fillAccountPicker(account, accounts, kNoId, AccountFallback::FirstEntry);
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Import into account:"), account);
    auto* buttons = makeOkCancel(&dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    widenFields(&dialog);
    if (DialogDriver::exec(&dialog) != QDialog::Accepted)
        return nullptr;
    return budget.findAccount(selectedItemId(account));
}

bool fundFolder(Shell& shell, AccountGroup* folder) {
    if (!folder)
        return false;
    FundEnvelopesDialog dialog(shell.budget(), *folder, shell.dialogParent());
    if (!execWithHelp(shell, fundEnvelopesHelp(), &dialog))
        return false;
    if (dialog.coverDueChosen())
        fundToCoverDue(shell.budget(), *folder, toQDate(Clock::now()));
    else
        fundFolderEnvelopes(*folder);
    return true;
}

bool addAccount(Shell& shell) {
    AccountForm form;
    AccountSettingsDialog dialog(shell.prompter(), form, shell.dialogParent());
    if (!execWithHelp(shell, accountHelp(), &dialog))
        return false;
    form = dialog.form();
    Budget& budget = shell.budget();
    Account* account = budget.createAccount();
    account->setName(form.name);
    account->adjustBalance(form.balance);
    account->setContributesToBudget(form.inBudget);
    if (form.creditCard) {
        account->setCCAccount(true);
        ensureChargesEnvelopeShown(shell, account);
    }
    budget.showTopLevel(account);
    shell.showItem(account);
    return true;
}

bool editAccount(Shell& shell, Account* account) {
    if (!account)
        return false;
    AccountForm form;
    form.balance = account->getBalance();
    form.inBudget = account->contributesToBudget();
    form.name = account->getName();
    form.creditCard = account->isCCAccount();
    AccountSettingsDialog dialog(shell.prompter(), form, shell.dialogParent());
    if (!execWithHelp(shell, accountHelp(), &dialog))
        return false;
    form = dialog.form();
    Budget& budget = shell.budget();
    // A new balance is set, not recorded: no transaction explains the difference.
    account->adjustBalance(negatedAmount(account->getBalance()));
    account->adjustBalance(form.balance);
    account->setName(form.name);
    account->setContributesToBudget(form.inBudget);
    if (form.creditCard) {
        account->setCCAccount(true);
        ensureChargesEnvelopeShown(shell, account);
    } else if (account->isCCAccount()) {
        account->setCCAccount(false);
        AccountEnvelope* charges = budget.findEnvelope(kChargesEnvelopeId);
        const bool wasShown = charges && !charges->isHidden();
        retireCardChargesEnvelope(budget);
        if (wasShown && charges->isHidden()) {
            AccountGroup* folder = charges->getParent();
            if (folder && folder->isHidden()) {
                budget.removeFromOrder(folder);
                shell.removeItem(folder);
            } else {
                shell.removeItem(charges);
            }
        }
    }
    return true;
}

bool addFolder(Shell& shell) {
    FolderForm form;
    FolderDialog dialog(form, shell.dialogParent());
    if (!execWithHelp(shell, folderHelp(), &dialog))
        return false;
    form = dialog.form();
    Budget& budget = shell.budget();
    AccountGroup* folder = budget.createFolder();
    folder->setName(form.name);
    folder->setExpenseLimit(form.expenseLimit);
    budget.showTopLevel(folder);
    shell.showItem(folder);
    return true;
}

bool editFolder(Shell& shell, AccountGroup* folder) {
    if (!folder)
        return false;
    FolderForm form;
    form.expenseLimit = folder->expenseLimit();
    form.name = folder->getName();
    FolderDialog dialog(form, shell.dialogParent());
    if (!execWithHelp(shell, folderHelp(), &dialog))
        return false;
    form = dialog.form();
    folder->setName(form.name);
    folder->setExpenseLimit(form.expenseLimit);
    return true;
}

namespace {
bool runEnvelopeDialog(Shell& shell, EnvelopeForm& form) {
    EnvelopeDialog dialog(shell.budget(), form, shell.dialogParent());
    if (!execWithHelp(shell, envelopeHelp(), &dialog))
        return false;
    form = dialog.form();
    return true;
}

// The "Envelope" dialog for a new envelope, which then goes last into the folder (or the
// one chosen in the dialog when it offers several).
AccountEnvelope* newEnvelopeIn(Shell& shell, AccountGroup* folder,
                               const std::vector<AccountGroup*>& offered = {}) {
    EnvelopeForm form;
    for (const AccountGroup* candidate : offered)
        form.folders.push_back(candidate->id());
    form.folder = folder->id();
    if (!runEnvelopeDialog(shell, form))
        return nullptr;
    if (!offered.empty()) {
        AccountGroup* chosen = shell.budget().findFolder(form.folder);
        if (!chosen || std::find(offered.begin(), offered.end(), chosen) == offered.end())
            return nullptr;
        folder = chosen;
    }
    AccountEnvelope* envelope = shell.budget().createEnvelope();
    envelope->setName(form.name);
    envelope->setDefaultPayFromAccount(form.defaultPayFromAccount);
    envelope->setDefaultAmount(form.defaultAmount);
    envelope->setDefaultPayee(form.defaultPayee);
    envelope->setExpense(true);
    envelope->setVirtualAccount(true);
    envelope->setBudgeted(form.monthlyBudget);
    envelope->setSavingsGoal(form.savingsGoal);
    folder->addChild(envelope);
    shell.showItem(envelope);
    return envelope;
}
} // namespace

bool addEnvelope(Shell& shell, AccountGroup* folder) {
    return folder && newEnvelopeIn(shell, folder);
}

ItemId addEnvelopeForImport(Shell& shell, ItemId besideEnvelope) {
    Budget& budget = shell.budget();
    // Every folder on screen but the card charges' own is offered; preselected is the folder
    // of the envelope the row had, else the first.
    std::vector<AccountGroup*> offered;
    for (AccountGroup* candidate : budget.folderOrder()) {
        const bool chargesFolder =
            std::any_of(candidate->children().begin(), candidate->children().end(),
                        [](const AccountBase* child) { return child->id() == kChargesEnvelopeId; });
        if (!candidate->isHidden() && !candidate->isReadOnly() && !chargesFolder)
            offered.push_back(candidate);
    }
    if (offered.empty())
        return kNoId;
    AccountGroup* folder = offered.front();
    if (const AccountBase* beside = budget.findEnvelope(besideEnvelope);
        beside && besideEnvelope != kChargesEnvelopeId && beside->getParent() &&
        std::find(offered.begin(), offered.end(), beside->getParent()) != offered.end())
        folder = beside->getParent();
    AccountEnvelope* envelope = newEnvelopeIn(shell, folder, offered);
    if (!envelope)
        return kNoId;
    return envelope->id();
}

bool editEnvelope(Shell& shell, AccountEnvelope* envelope) {
    if (!envelope)
        return false;
    EnvelopeForm form;
    form.monthlyBudget = envelope->getBudgeted();
    form.name = envelope->getName();
    form.defaultPayFromAccount = envelope->defaultPayFromAccount();
    form.defaultAmount = envelope->defaultAmount();
    form.defaultPayee = envelope->defaultPayee();
    form.savingsGoal = envelope->savingsGoal();
    form.isChargesEnvelope = envelope->id() == kChargesEnvelopeId;
    if (!runEnvelopeDialog(shell, form))
        return false;
    envelope->setBudgeted(form.monthlyBudget);
    envelope->setDefaultPayFromAccount(form.defaultPayFromAccount);
    envelope->setDefaultAmount(form.defaultAmount);
    envelope->setDefaultPayee(form.defaultPayee);
    envelope->setName(form.name);
    envelope->setSavingsGoal(form.savingsGoal);
    return true;
}
