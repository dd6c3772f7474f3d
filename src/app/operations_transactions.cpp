// Recording and editing expenses, deposits, transfers and card payments.

#include "app/operations.h"

#include "app/amountfield.h"
#include "app/datefield.h"
#include "app/dialogdriver.h"
#include "app/moneydialogs.h"
#include "app/operations_logic.h"
#include "app/pickers.h"
#include "app/shell.h"
#include "app/splitdialog.h"
#include "app/transactiondialog.h"
#include "model/budget.h"
#include "model/clock.h"
#include "model/prompter.h"
#include "model/reconcile.h"
#include "model/schedule.h"
#include "model/split.h"

#include <algorithm>

namespace {
bool hasAnyAccount(const Budget& budget) {
    return !budget.itemsOfType(ItemType::Account).empty();
}

bool hasNonCardAccount(const Budget& budget, int atLeast) {
    int count = 0;
    for (const AccountBase* item : budget.itemsOfType(ItemType::Account))
        if (!static_cast<const Account*>(item)->isCCAccount() && ++count >= atLeast)
            return true;
    return false;
}

// Opens the Transaction dialog; false when there is no account at all or on Cancel.
bool runTransactionDialog(Shell& shell, ExpenseForm& form, bool* schedule = nullptr) {
    Budget& budget = shell.budget();
    if (!hasAnyAccount(budget)) {
        shell.prompter().inform("No Accounts",
                                "There are no accounts. Transactions can't be added.",
                                PromptIcon::Exclamation);
        return false;
    }
    // An expense needs an account that pays it (hidden and read-only accounts are not
    // offered); without one the envelope would lose money that no account paid.
    if (pickableAccounts(budget, true).empty() &&
        (form.isNew || !budget.findAccount(form.account))) {
        shell.prompter().inform("Transaction",
                                "You must have at least one account that is not hidden or "
                                "read-only to pay this expense from",
                                PromptIcon::Exclamation);
        return false;
    }
    TransactionDialog dialog(budget, shell.prompter(), form, shell.dialogParent());
    if (!schedule)
        hideScheduleButton(&dialog);
    if (!execWithHelp(shell, transactionHelp(), &dialog))
        return false;
    form = dialog.form();
    if (schedule)
        *schedule = scheduleChosen(&dialog);
    return true;
}

// The edited values on the chosen day, at the transaction's own time of day: to the budget's
// ledger, or into *draft for one not recorded yet (so a Cancel leaves nothing to undo). A
// reconciled side whose money, account or date would change is asked about first and, if
// changed, is no longer reconciled. False when the user keeps it.
bool finishEdit(Shell& shell, const Transaction* t, Transaction changed, const QDate& day,
                Transaction* draft) {
    changed.transactionTime = onDay(t->transactionTime, day);
    if (draft) {
        *draft = std::move(changed);
        return true;
    }
    if (touchesReconciled(*t, changed) && !confirmReconciledChange(shell, {t}))
        return false;
    settleEditedStates(*t, changed);
    shell.budget().editTransaction(t, changed);
    return true;
}

// A new transaction on the chosen day, at the present time of day, in its place by time.
void recordOnDay(Budget& budget, TransactionType type, Amount amount, ItemId from, ItemId to,
                 ItemId envelope, const QString& payee, const QString& description,
                 const QDate& day) {
    budget.recordTransaction(makeTransaction(type, amount, from, to, envelope, payee, description,
                                             onDay(Clock::now(), day)));
}

// The dialog's entry as the first occurrence of a monthly schedule, for the editor.
Schedule scheduleOf(TransactionType type, Amount amount, ItemId from, ItemId to, ItemId envelope,
                    const QString& payee, const QString& description, const QDate& day) {
    Schedule s;
    s.type = type;
    s.amount = amount;
    s.accountFrom = from;
    s.accountTo = to;
    s.category = envelope;
    s.payee = payee;
    s.description = description;
    s.first = day.isValid() ? day : toQDate(Clock::now());
    return s;
}

// The parts as recorded: a part without its own description takes the payment's.
std::vector<SplitPart> partsToRecord(const ExpenseForm& form) {
    std::vector<SplitPart> parts = form.parts;
    for (SplitPart& part : parts)
        if (part.description.isEmpty())
            part.description = form.description;
    return parts;
}

// The payment the form describes (a split's parts carry its account, payee and day).
Transaction paymentOfForm(const ExpenseForm& form) {
    return makeTransaction(TransactionType::Expense, form.amount, form.account, kNoId,
                           form.envelope, form.payee, form.description);
}

bool editExpense(Shell& shell, const Transaction* t, Transaction* draft) {
    const std::vector<const Transaction*> payment = paymentOf(shell.budget(), t);
    ExpenseForm form;
    form.amount = clampAmount(paymentAmount(payment));
    form.payee = t->payee;
    form.description = t->description;
    form.account = t->accountFrom;
    form.envelope = t->category;
    form.isNew = false;
    form.date = dayOf(t->transactionTime);
    form.splittable = draft == nullptr; // a draft holds one transaction
    if (payment.size() > 1) {
        form.parts = splitPartsOf(payment);
        // A description every part shares is the payment's; the parts show only their own.
        const QString shared = form.parts.front().description;
        const bool common =
            std::all_of(form.parts.begin(), form.parts.end(),
                        [&](const SplitPart& p) { return p.description == shared; });
        form.description = common ? shared : QString();
        if (common)
            for (SplitPart& part : form.parts)
                part.description.clear();
    }
    if (!runTransactionDialog(shell, form))
        return false;
    if (!draft && (payment.size() > 1 || form.parts.size() > 1)) {
        Transaction changed = paymentOfForm(form);
        changed.transactionTime = onDay(t->transactionTime, form.date);
        changed.bankId = t->bankId;
        std::vector<SplitPart> parts = partsToRecord(form);
        if (parts.empty())
            parts.push_back(SplitPart{form.envelope, form.amount, form.description});
        return replacePayment(shell.budget(), t, changed, parts);
    }
    Transaction changed = *t;
    changed.amount = form.amount;
    changed.payee = form.payee;
    changed.description = form.description;
    changed.category = form.envelope;
    changed.accountFrom = form.account;
    changed.accountTo = kNoId;
    return finishEdit(shell, t, changed, form.date, draft);
}

bool editDeposit(Shell& shell, const Transaction* t, Transaction* draft) {
    Budget& budget = shell.budget();
    if (!budget.findAccount(t->accountTo))
        return false;
    DepositForm form;
    form.account = t->accountTo;
    form.amount = t->amount;
    form.payer = t->payee;
    form.description = t->description;
    form.date = dayOf(t->transactionTime);
    std::vector<Account*> accounts = pickableAccounts(budget, false);
    keepAccountListed(accounts, budget, t->accountTo);

    DepositDialog dialog(budget, accounts, form, shell.dialogParent());
    hideScheduleButton(&dialog);
    if (!execWithHelp(shell, depositHelp(), &dialog))
        return false;
    form = dialog.form();
    Transaction changed = *t;
    changed.amount = form.amount;
    changed.payee = form.payer;
    changed.description = form.description;
    changed.accountTo = form.account;
    return finishEdit(shell, t, changed, form.date, draft);
}

bool editTransfer(Shell& shell, const Transaction* t, Transaction* draft) {
    Budget& budget = shell.budget();
    if (!budget.findAccount(t->accountTo) || !budget.findAccount(t->accountFrom))
        return false;
    TransferForm form;
    form.fromAccount = t->accountFrom;
    form.toAccount = t->accountTo;
    form.amount = t->amount;
    form.description = t->description;
    form.date = dayOf(t->transactionTime);
    std::vector<Account*> accounts = pickableAccounts(budget, false);
    keepAccountListed(accounts, budget, t->accountFrom);
    keepAccountListed(accounts, budget, t->accountTo);

    TransferDialog dialog(budget, shell.prompter(), accounts, form, shell.dialogParent());
    hideScheduleButton(&dialog);
    if (!execWithHelp(shell, transferHelp(), &dialog))
        return false;
    form = dialog.form();
    Transaction changed = *t;
    changed.amount = form.amount;
    changed.description = form.description;
    changed.accountFrom = form.fromAccount;
    changed.accountTo = form.toAccount;
    return finishEdit(shell, t, changed, form.date, draft);
}

bool editCardPayment(Shell& shell, const Transaction* t, Transaction* draft) {
    Budget& budget = shell.budget();
    if (!budget.findAccount(t->accountTo))
        return false;
    CardPaymentForm form;
    form.amount = t->amount;
    form.card = t->accountTo;
    form.description = t->description;
    form.payingAccount = t->accountFrom;
    form.date = dayOf(t->transactionTime);
    std::vector<Account*> accounts = pickableAccounts(budget, false);
    keepAccountListed(accounts, budget, t->accountFrom);

    CardPaymentDialog dialog(budget, accounts, form, shell.dialogParent());
    hideScheduleButton(&dialog);
    if (!execWithHelp(shell, cardPaymentHelp(), &dialog))
        return false;
    form = dialog.form();
    Transaction changed = *t;
    changed.amount = form.amount;
    changed.description = form.description;
    changed.accountFrom = form.payingAccount;
    return finishEdit(shell, t, changed, form.date, draft);
}
} // namespace

bool recordExpense(Shell& shell, AccountBase* selected) {
    if (!selected)
        return false;
    ExpenseForm form;
    form.envelope = selected->id();
    form.isNew = true;
    if (selected->getType() == ItemType::Envelope) {
        const auto* envelope = static_cast<const AccountEnvelope*>(selected);
        form.amount = envelope->defaultAmount();
        form.payee = envelope->defaultPayee();
        if (envelope->defaultPayFromAccount() != kNoId)
            form.account = envelope->defaultPayFromAccount();
    }
    bool schedule = false;
    if (!runTransactionDialog(shell, form, &schedule))
        return false;
    if (schedule)
        return makeSchedule(shell,
                            scheduleOf(TransactionType::Expense, form.amount, form.account, kNoId,
                                       form.envelope, form.payee, form.description, form.date));
    if (form.parts.size() > 1) {
        Transaction payment = paymentOfForm(form);
        payment.transactionTime = onDay(Clock::now(), form.date);
        recordSplit(shell.budget(), payment, partsToRecord(form));
        return true;
    }
    recordOnDay(shell.budget(), TransactionType::Expense, form.amount, form.account, kNoId,
                form.envelope, form.payee, form.description, form.date);
    return true;
}

bool splitTransaction(Shell& shell, const Transaction* t) {
    Budget& budget = shell.budget();
    if (!t || t->type != TransactionType::Expense || !budget.containsTransaction(t))
        return false;
    const std::vector<const Transaction*> payment = paymentOf(budget, t);
    SplitDialog dialog(budget, clampAmount(paymentAmount(payment)), splitPartsOf(payment),
                       shell.dialogParent());
    if (!execWithHelp(shell, transactionHelp(), &dialog))
        return false;
    const std::vector<SplitPart> parts = dialog.parts();
    if (parts.empty() || parts == splitPartsOf(payment))
        return false;
    return replacePayment(budget, t, *t, parts);
}

namespace {
bool editOrDraft(Shell& shell, const Transaction* t, Transaction* draft) {
    switch (t->type) {
    case TransactionType::Expense:
        return editExpense(shell, t, draft);
    case TransactionType::Deposit:
        return editDeposit(shell, t, draft);
    case TransactionType::Transfer:
        return editTransfer(shell, t, draft);
    case TransactionType::CCPayment:
        return editCardPayment(shell, t, draft);
    }
    return false;
}
} // namespace

bool editTransaction(Shell& shell, const Transaction* t) {
    return t && editOrDraft(shell, t, nullptr);
}

bool editDraft(Shell& shell, Transaction& draft) {
    const Transaction shown = draft;
    return editOrDraft(shell, &shown, &draft);
}

bool recordDeposit(Shell& shell, Account* account) {
    if (!account)
        return false;
    Budget& budget = shell.budget();
    DepositForm form;
    form.account = account->id();

    DepositDialog dialog(budget, pickableAccounts(budget, false), form, shell.dialogParent());
    if (!execWithHelp(shell, depositHelp(), &dialog))
        return false;
    form = dialog.form();
    if (!budget.findAccount(form.account))
        return false;
    if (scheduleChosen(&dialog))
        return makeSchedule(shell,
                            scheduleOf(TransactionType::Deposit, form.amount, kNoId, form.account,
                                       kNoId, form.payer, form.description, form.date));
    recordOnDay(budget, TransactionType::Deposit, form.amount, kNoId, form.account, kNoId,
                form.payer, form.description, form.date);
    return true;
}

bool recordTransfer(Shell& shell, Account* account) {
    if (!account)
        return false;
    Budget& budget = shell.budget();
    if (!hasNonCardAccount(budget, 2)) {
        shell.prompter().inform("Transfer",
                                "You must have two or more accounts to perform a transfer",
                                PromptIcon::None);
        return false;
    }
    TransferForm form;
    form.fromAccount = account->id();

    TransferDialog dialog(budget, shell.prompter(), pickableAccounts(budget, false), form,
                          shell.dialogParent());
    if (!execWithHelp(shell, transferHelp(), &dialog))
        return false;
    form = dialog.form();
    if (!budget.findAccount(form.fromAccount) || !budget.findAccount(form.toAccount))
        return false;
    if (scheduleChosen(&dialog))
        return makeSchedule(shell, scheduleOf(TransactionType::Transfer, form.amount,
                                              form.fromAccount, form.toAccount, kNoId, "Transfer",
                                              form.description, form.date));
    recordOnDay(budget, TransactionType::Transfer, form.amount, form.fromAccount, form.toAccount,
                kNoId, "Transfer", form.description, form.date);
    return true;
}

bool payCreditCard(Shell& shell, Account* card) {
    if (!card)
        return false;
    Budget& budget = shell.budget();
    if (!hasNonCardAccount(budget, 1)) {
        shell.prompter().inform(
            "Credit Card Payment",
            "You must have at least one non-credit card account to make this payment",
            PromptIcon::None);
        return false;
    }
    CardPaymentForm form;
    form.amount = amountMagnitude(card->getBalance());
    form.card = card->id();

    CardPaymentDialog dialog(budget, pickableAccounts(budget, false), form, shell.dialogParent());
    if (!execWithHelp(shell, cardPaymentHelp(), &dialog))
        return false;
    form = dialog.form();
    if (scheduleChosen(&dialog))
        return makeSchedule(shell, scheduleOf(TransactionType::CCPayment, form.amount,
                                              form.payingAccount, card->id(), kChargesEnvelopeId,
                                              card->getName(), form.description, form.date));
    recordOnDay(budget, TransactionType::CCPayment, form.amount, form.payingAccount, card->id(),
                kChargesEnvelopeId, card->getName(), form.description, form.date);
    return true;
}
