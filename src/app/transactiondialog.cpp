#include "app/transactiondialog.h"

#include "app/amountfield.h"
#include "app/datefield.h"
#include "app/dialogdriver.h"
#include "app/pickers.h"
#include "app/splitdialog.h"
#include "gui/payeecompletion.h"
#include "model/budget.h"
#include "model/prompter.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TransactionDialog::TransactionDialog(const Budget& budget, Prompter& prompter,
                                     const ExpenseForm& form, QWidget* parent)
    : QDialog(parent), budget_(budget), prompter_(prompter), form_(form) {
    setWindowTitle("Transaction");

    amount_ = new QLineEdit(this);
    payee_ = new QComboBox(this);
    account_ = new QComboBox(this);
    envelope_ = new QComboBox(this);
    split_ = new QPushButton(QStringLiteral("Split..."), this);
    description_ = new QLineEdit(this);
    date_ = newDateField(this, form_.date); // created last: the last field in Tab order
    limitFieldText(amount_);
    limitFieldText(description_);
    for (QComboBox* list : {account_, envelope_, payee_})
        list->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    auto* fields = new QFormLayout;
    fields->addRow("Amount:", amount_);
    fields->addRow("Payee:", payee_);
    fields->addRow("Account:", account_);
    split_->setAutoDefault(false);
    split_->setToolTip(QStringLiteral("Divide this payment among several envelopes"));
    auto* envelopeRow = new QHBoxLayout;
    envelopeRow->setContentsMargins(0, 0, 0, 0);
    envelopeRow->addWidget(envelope_, 1);
    envelopeRow->addWidget(split_);
    fields->addRow("Envelope:", envelopeRow);
    fields->addRow("Description:", description_);
    fields->addRow("Date:", date_);
    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    schedule_ = addScheduleButton(buttons, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TransactionDialog::tryAccept);
    connect(split_, &QPushButton::clicked, this, &TransactionDialog::editSplit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);

    // The dialog shows the magnitude of spending: the stored amount negated.
    formatAmountIntoControl(amount_, negatedAmount(form_.amount));
    std::vector<Account*> accounts = pickableAccounts(budget_, true);
    if (!form_.isNew)
        keepAccountListed(accounts, budget_, form_.account);
    fillAccountPicker(account_, accounts, form_.account, AccountFallback::HighestId);
    fillEnvelopePicker(envelope_, budget_, form_.envelope);
    fillPayeeChoices(payee_, budget_, form_.payee);
    payee_->setEditText(form_.payee);
    description_->setText(form_.description);
    if (form_.parts.size() > 1)
        parts_ = form_.parts;
    split_->setVisible(form_.splittable);
    showSplit();

    widenFields(this);
    amount_->selectAll();
    amount_->setFocus();
}

void TransactionDialog::showSplit() {
    const bool split = parts_.size() > 1;
    envelope_->setEnabled(!split);
    // A schedule repeats one envelope's expense.
    schedule_->setEnabled(!split);
    if (split) {
        envelope_->setPlaceholderText(QStringLiteral("Split (%1)").arg(parts_.size()));
        envelope_->setCurrentIndex(-1);
    }
}

void TransactionDialog::editSplit() {
    const Amount amount = negatedAmount(readAmountFromControl(amount_));
    std::vector<SplitPart> start = parts_;
    if (start.empty())
        start.push_back(SplitPart{selectedItemId(envelope_), 0, {}});
    SplitDialog dialog(budget_, amount, start, this);
    if (DialogDriver::exec(&dialog) != QDialog::Accepted)
        return;
    std::vector<SplitPart> parts = dialog.parts();
    if (parts.size() > 1) {
        parts_ = std::move(parts);
    } else {
        // One part is no split: it is the envelope of a plain expense.
        parts_.clear();
        if (!parts.empty())
            selectItemId(envelope_, parts.front().envelope);
    }
    showSplit();
}

void TransactionDialog::tryAccept() {
    const Amount amount = negatedAmount(readAmountFromControl(amount_));
    const ItemId envelope = selectedItemId(envelope_);
    const ItemId account = selectedItemId(account_);
    const QString payee = readFieldText(payee_);
    if (!parts_.empty() && splitTotal(parts_) != amount) {
        prompter_.inform(QStringLiteral("Split"),
                         QStringLiteral("The parts of the split add up to %1, not to the "
                                        "amount of %2. Change the amount or the parts.")
                             .arg(formatAmount(clampAmount(-splitTotal(parts_)), true),
                                  formatAmount(negatedAmount(amount), true)),
                         PromptIcon::Exclamation);
        return;
    }
    if (form_.isNew && parts_.empty() &&
        !confirmNewExpense(prompter_, budget_, amount, envelope, account, payee))
        return; // the entries stay for another try
    if (form_.isNew && !parts_.empty() &&
        !confirmNewSplit(prompter_, budget_, parts_, account, payee))
        return;
    form_.parts = parts_;
    form_.amount = amount;
    form_.payee = payee;
    if (envelope != kNoId)
        form_.envelope = envelope;
    form_.description = readFieldText(description_);
    form_.account = account;
    form_.date = date_->date();
    accept();
}
