#include "app/transactiondialog.h"

#include "app/amountfield.h"
#include "app/datefield.h"
#include "app/dialogdriver.h"
#include "app/pickers.h"
#include "gui/payeecompletion.h"
#include "model/budget.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
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
    fields->addRow("Envelope:", envelope_);
    fields->addRow("Description:", description_);
    fields->addRow("Date:", date_);
    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    addScheduleButton(buttons, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TransactionDialog::tryAccept);
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

    widenFields(this);
    amount_->selectAll();
    amount_->setFocus();
}

void TransactionDialog::tryAccept() {
    const Amount amount = negatedAmount(readAmountFromControl(amount_));
    const ItemId envelope = selectedItemId(envelope_);
    const ItemId account = selectedItemId(account_);
    const QString payee = readFieldText(payee_);
    if (form_.isNew && !confirmNewExpense(prompter_, budget_, amount, envelope, account, payee))
        return; // the entries stay for another try
    form_.amount = amount;
    form_.payee = payee;
    if (envelope != kNoId)
        form_.envelope = envelope;
    form_.description = readFieldText(description_);
    form_.account = account;
    form_.date = date_->date();
    accept();
}
