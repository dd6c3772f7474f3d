// Funding envelopes and the add/edit commands of accounts, folders and envelopes.

#include "app/operations.h"

#include "app/amountfield.h"
#include "app/dialogdriver.h"
#include "app/fundingdialogs.h"
#include "app/operations_logic.h"
#include "app/settingsdialogs.h"
#include "app/shell.h"
#include "model/budget.h"
#include "model/clock.h"

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
    shell.saveBudget();
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
    shell.repaintAccountList();
    shell.refreshTexts();
    shell.layoutWindow();
    shell.rebuildTransactionList();
    shell.saveBudget();
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
    shell.saveBudget();
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
    shell.refreshTexts();
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

// The "Envelope" dialog for a new envelope, which then goes last into the folder.
AccountEnvelope* newEnvelopeIn(Shell& shell, AccountGroup* folder) {
    EnvelopeForm form;
    if (!runEnvelopeDialog(shell, form))
        return nullptr;
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
    // Beside the envelope the row had, else in the first folder on screen that is not the
    // card charges' own.
    AccountGroup* folder = nullptr;
    if (const AccountBase* beside = budget.findEnvelope(besideEnvelope);
        beside && besideEnvelope != kChargesEnvelopeId)
        folder = beside->getParent();
    for (AccountGroup* candidate : budget.folderOrder()) {
        if (folder)
            break;
        const bool chargesFolder =
            std::any_of(candidate->children().begin(), candidate->children().end(),
                        [](const AccountBase* child) { return child->id() == kChargesEnvelopeId; });
        if (!candidate->isHidden() && !chargesFolder)
            folder = candidate;
    }
    if (!folder)
        return kNoId;
    AccountEnvelope* envelope = newEnvelopeIn(shell, folder);
    if (!envelope)
        return kNoId;
    shell.refreshTexts();
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
    shell.refreshTexts();
    return true;
}
