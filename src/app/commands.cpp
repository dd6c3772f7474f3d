#include "app/commands.h"

#include "app/dialogdriver.h"
#include "app/operations.h"
#include "app/shell.h"
#include "app/splitdialog.h"
#include "gui/importreview.h"
#include "gui/printout.h"
#include "model/budget.h"
#include "model/items.h"

#include <QAction>
#include <QKeyEvent>

QString commandText(Command command) {
    switch (command) {
    case Command::AddAccount:
        return QStringLiteral("Add Account...");
    case Command::AddFolder:
        return QStringLiteral("Add Folder...");
    case Command::Print:
        return QStringLiteral("Print...");
    case Command::Exit:
        return QStringLiteral("E&xit");
    case Command::About:
        return QStringLiteral("&About ...");
    case Command::FundFolder:
        return QStringLiteral("Assign money to envelopes...");
    case Command::AddEnvelope:
        return QStringLiteral("Add envelope...");
    case Command::EditFolder:
        return QStringLiteral("Edit folder...");
    case Command::Hide:
        return QStringLiteral("Hide folder....");
    case Command::RecordExpense:
        return QStringLiteral("Record expense...");
    case Command::FundEnvelope:
        return QStringLiteral("Assign money to this envelope...");
    case Command::EditEnvelope:
        return QStringLiteral("Edit envelope...");
    case Command::EditTransaction:
        return QStringLiteral("Edit Transaction...");
    case Command::Transfer:
        return QStringLiteral("Transfer...");
    case Command::Deposit:
        return QStringLiteral("Deposit...");
    case Command::PayCreditCard:
        return QStringLiteral("Pay credit card...");
    case Command::ImportTransactions:
        return QStringLiteral("Import transactions...");
    case Command::EditAccount:
        return QStringLiteral("Edit account...");
    case Command::HideAccount:
        return QStringLiteral("Hide account...");
    case Command::MoveToGroup:
        return QStringLiteral("Move to folder...");
    case Command::MoveAfter:
        return QStringLiteral("Move after...");
    case Command::MoveBefore:
        return QStringLiteral("Move before...");
    case Command::DeleteTransaction:
        return QStringLiteral("Delete transaction");
    case Command::Undo:
        return QStringLiteral("&Undo");
    case Command::Redo:
        return QStringLiteral("&Redo");
    case Command::RestoreBackup:
        return QStringLiteral("Restore from backup...");
    case Command::MoveMoney:
        return QStringLiteral("Move money...");
    case Command::NewSchedule:
        return QStringLiteral("New schedule...");
    case Command::EditSchedule:
        return QStringLiteral("Edit schedule...");
    case Command::EnterScheduled:
        return QStringLiteral("Enter");
    case Command::SkipScheduled:
        return QStringLiteral("Skip");
    case Command::EditThenEnterScheduled:
        return QStringLiteral("Edit then enter...");
    case Command::Reconcile:
        return QStringLiteral("Reconcile...");
    case Command::SplitTransaction:
        return QStringLiteral("Split transaction...");
    case Command::None:
        break;
    }
    return {};
}

QString stepName(Command command) {
    switch (command) {
    case Command::MoveToGroup:
    case Command::MoveAfter:
    case Command::MoveBefore:
        return QStringLiteral("Move");
    case Command::Hide:
        return QStringLiteral("Hide");
    case Command::EnterScheduled:
    case Command::EditThenEnterScheduled:
        return QStringLiteral("Enter scheduled transaction");
    case Command::SkipScheduled:
        return QStringLiteral("Skip scheduled transaction");
    default:
        break;
    }
    QString name = commandText(command).remove(u'&');
    while (name.endsWith(u'.'))
        name.chop(1);
    return name.trimmed();
}

namespace {
// The import lives below the app layer, so it gets the window's services as hooks.
bool importIntoAccount(Shell& shell, Account* account) {
    Budget& budget = shell.budget();
    std::vector<AccountEnvelope*> made; // by "New envelope..." in the review
    ImportHooks hooks;
    hooks.parent = shell.dialogParent();
    hooks.prompter = &shell.prompter();
    hooks.showHelp = [&shell](const QString& heading, const QStringList& body) {
        shell.showHelp(heading, body);
    };
    hooks.restoreHelp = [&shell] { shell.restoreHelp(); };
    hooks.splitRow = [&shell](Amount total, std::vector<ImportPart>& parts) {
        std::vector<SplitPart> start;
        for (const ImportPart& part : parts)
            start.push_back(SplitPart{part.envelopeId, part.amount, part.memo});
        SplitDialog dialog(shell.budget(), total, start, shell.dialogParent());
        if (DialogDriver::exec(&dialog) != QDialog::Accepted)
            return false;
        parts.clear();
        for (const SplitPart& part : dialog.parts())
            parts.push_back(ImportPart{QString(), part.description, part.amount, part.envelope});
        return true;
    };
    hooks.newEnvelope = [&](ItemId beside) {
        const ItemId id = addEnvelopeForImport(shell, beside);
        if (AccountEnvelope* envelope = budget.findEnvelope(id))
            made.push_back(envelope);
        return id;
    };
    if (importTransactions(budget, account, hooks))
        return true;
    // An envelope made for a review that was cancelled goes with it, and so do the rules
    // that map payees into it: they would point at nothing.
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        AccountEnvelope* envelope = *it;
        std::vector<QString> mappingInto;
        for (const PayeeMappingRule& rule : budget.rules().rules())
            if (!rule.deposit && rule.envelopeId == envelope->id())
                mappingInto.push_back(rule.match);
        for (const QString& match : mappingInto)
            budget.rules().removeRulesEqualTo(match);
        shell.removeItem(envelope);
        budget.discardNewItem(envelope);
    }
    return false;
}
} // namespace

bool performOperation(Shell& shell, const CommandRequest& r) {
    AccountBase* item = r.item;
    auto* account = dynamic_cast<Account*>(item);
    auto* folder = dynamic_cast<AccountGroup*>(item);
    auto* envelope = dynamic_cast<AccountEnvelope*>(item);
    switch (r.command) {
    case Command::AddAccount:
        return addAccount(shell);
    case Command::AddFolder:
        return addFolder(shell);
    case Command::FundFolder:
        return folder && fundFolder(shell, folder);
    case Command::AddEnvelope:
        return folder && addEnvelope(shell, folder);
    case Command::EditFolder:
        return folder && editFolder(shell, folder);
    case Command::Hide:
        return item && hideTreeItem(shell, item);
    case Command::RecordExpense:
        return envelope && recordExpense(shell, envelope);
    case Command::FundEnvelope:
        return envelope && fundEnvelope(shell, envelope);
    case Command::EditEnvelope:
        return envelope && editEnvelope(shell, envelope);
    case Command::EditTransaction:
        return r.transaction && editTransaction(shell, r.transaction);
    case Command::DeleteTransaction:
        return deleteTransactions(shell, r.transactions);
    case Command::SplitTransaction:
        return r.transaction && splitTransaction(shell, r.transaction);
    case Command::Transfer:
        return account && recordTransfer(shell, account);
    case Command::Deposit:
        return account && recordDeposit(shell, account);
    case Command::PayCreditCard:
        return account && payCreditCard(shell, account);
    case Command::EditAccount:
        return account && editAccount(shell, account);
    case Command::HideAccount:
        return account && hideAccount(shell, account);
    case Command::ImportTransactions:
        // From the File menu the account is asked for first.
        if (!account)
            account = chooseImportAccount(shell);
        return account && importIntoAccount(shell, account);
    case Command::MoveMoney:
        return moveMoneyFrom(shell, envelope);
    case Command::Reconcile:
        return reconcileAccount(shell, account);
    case Command::NewSchedule:
        return newSchedule(shell);
    case Command::EditSchedule:
        return editSchedule(shell, std::size_t(r.target));
    case Command::EnterScheduled:
        return enterScheduled(shell, std::size_t(r.target), false);
    case Command::EditThenEnterScheduled:
        return enterScheduled(shell, std::size_t(r.target), true);
    case Command::SkipScheduled:
        return skipScheduled(shell, std::size_t(r.target));
    case Command::Print:
        printBudget(shell.budget(), shell.dialogParent(), shell.prompter());
        return false;
    default:
        return false;
    }
}

void setActionCommand(QAction* action, Command command, ItemId target) {
    action->setData(QVariantList{int(command), qulonglong(target)});
}

Command actionCommand(const QAction* action) {
    const QVariantList data = action ? action->data().toList() : QVariantList{};
    return data.size() == 2 ? Command(data[0].toInt()) : Command::None;
}

ItemId actionTarget(const QAction* action) {
    const QVariantList data = action ? action->data().toList() : QVariantList{};
    return data.size() == 2 ? ItemId(data[1].toULongLong()) : kNoId;
}

QString menuEntryText(const QString& name) {
    QString text = name;
    return text.replace(u'&', QStringLiteral("&&"));
}

bool isContextMenuKey(const QKeyEvent* event) {
    return event->key() == Qt::Key_Menu ||
           (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
}
