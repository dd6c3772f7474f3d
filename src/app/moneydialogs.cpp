#include "app/moneydialogs.h"

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
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QLineEdit* newTextField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    limitFieldText(field);
    return field;
}

QComboBox* newAccountList(QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return list;
}

QVBoxLayout* stack(QDialog* dialog, QFormLayout* fields, QDialogButtonBox* buttons) {
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    return layout;
}
} // namespace

DepositDialog::DepositDialog(const Budget& budget, const std::vector<Account*>& accounts,
                             const DepositForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
    setWindowTitle("Deposit");
    amount_ = newTextField(this);
    account_ = newAccountList(this);
    payer_ = new QComboBox(this);
    payer_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    description_ = newTextField(this);
    date_ = newDateField(this, form_.date); // the last field in Tab order

    auto* fields = new QFormLayout;
    fields->addRow("Amount:", amount_);
    fields->addRow("Account:", account_);
    fields->addRow("Payer:", payer_);
    fields->addRow("Description:", description_);
    fields->addRow("Date:", date_);
    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    addScheduleButton(buttons, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &DepositDialog::store);
    stack(this, fields, buttons);

    fillAccountPicker(account_, accounts, form_.account, AccountFallback::HighestIdThenFirst);
    description_->setText(form_.description);
    formatAmountIntoControl(amount_, form_.amount);
    fillPayeeChoices(payer_, budget, form_.payer);
    payer_->setEditText(form_.payer);

    for (QComboBox* list : {account_, payer_}) {
        connect(list, &QComboBox::currentIndexChanged, this, &DepositDialog::updateOk);
        connect(list, &QComboBox::editTextChanged, this, &DepositDialog::updateOk);
    }
    updateOk();
    widenFields(this);
    amount_->selectAll();
    amount_->setFocus();
}

void DepositDialog::updateOk() {
    ok_->setEnabled(selectedItemId(account_) != kNoId);
}

void DepositDialog::store() {
    if (selectedItemId(account_) == kNoId)
        return;
    form_.amount = readAmountFromControl(amount_);
    form_.description = readFieldText(description_);
    form_.payer = readFieldText(payer_);
    form_.account = selectedItemId(account_);
    form_.date = date_->date();
    accept();
}

TransferDialog::TransferDialog(const Budget& budget, Prompter& prompter,
                               const std::vector<Account*>& accounts, const TransferForm& form,
                               QWidget* parent)
    : QDialog(parent), budget_(budget), prompter_(prompter), form_(form) {
    setWindowTitle("Transfer");
    amount_ = newTextField(this);
    from_ = newAccountList(this);
    to_ = newAccountList(this);
    description_ = newTextField(this);
    date_ = newDateField(this, form_.date); // the last field in Tab order
    warning_ = new QLabel("Warning: The 'from' and 'to' accounts must be different.", this);

    auto* fields = new QFormLayout;
    fields->addRow("Amount:", amount_);
    fields->addRow("From account:", from_);
    fields->addRow("To account:", to_);
    fields->addRow("Description:", description_);
    fields->addRow("Date:", date_);
    fields->addRow(warning_);
    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    addScheduleButton(buttons, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TransferDialog::tryAccept);
    stack(this, fields, buttons);

    formatAmountIntoControl(amount_, form_.amount);
    fillAccountPicker(from_, accounts, form_.fromAccount, AccountFallback::HighestIdThenFirst);
    fillAccountPicker(to_, accounts, form_.toAccount, AccountFallback::HighestIdThenFirst,
                      form_.fromAccount);
    description_->setText(form_.description);

    for (QComboBox* list : {from_, to_})
        connect(list, &QComboBox::currentIndexChanged, this, &TransferDialog::updateOk);
    updateOk();
    widenFields(this);
    amount_->selectAll();
    amount_->setFocus();
}

void TransferDialog::updateOk() {
    const bool same = selectedItemId(from_) == selectedItemId(to_);
    ok_->setEnabled(!same);
    // isHidden, not isVisible: the dialog itself may not be on screen yet.
    warning_->setHidden(!same);
}

void TransferDialog::tryAccept() {
    const ItemId from = selectedItemId(from_);
    const ItemId to = selectedItemId(to_);
    if (from == to)
        return;
    const Amount amount = readAmountFromControl(amount_);
    if (!confirmTransfer(prompter_, budget_, from, amount))
        return;
    form_.amount = amount;
    form_.description = readFieldText(description_);
    form_.fromAccount = from;
    form_.toAccount = to;
    form_.date = date_->date();
    accept();
}

CardPaymentDialog::CardPaymentDialog(const Budget& budget, const std::vector<Account*>& accounts,
                                     const CardPaymentForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
    setWindowTitle("Pay Credit Card");
    amount_ = newTextField(this);
    card_ = new QLineEdit(this);
    envelope_ = new QLineEdit(this);
    payFrom_ = newAccountList(this);
    description_ = newTextField(this);
    date_ = newDateField(this, form_.date); // the last field in Tab order
    for (QLineEdit* shown : {card_, envelope_}) {
        shown->setReadOnly(true);
        shown->setFocusPolicy(Qt::NoFocus);
    }

    auto* fields = new QFormLayout;
    fields->addRow("Amount:", amount_);
    fields->addRow("Credit card account:", card_);
    fields->addRow("Pay from envelope:", envelope_);
    fields->addRow("Pay from account:", payFrom_);
    fields->addRow("Description:", description_);
    fields->addRow("Date:", date_);
    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    addScheduleButton(buttons, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CardPaymentDialog::store);
    stack(this, fields, buttons);

    fillAccountPicker(payFrom_, accounts, form_.payingAccount, AccountFallback::HighestIdThenFirst);
    formatAmountIntoControl(amount_, amountMagnitude(form_.amount));
    if (const AccountBase* card = budget.findItem(form_.card))
        card_->setText(card->getName());
    if (const AccountBase* charges = budget.findItem(kChargesEnvelopeId))
        envelope_->setText(charges->getName());
    description_->setText(form_.description);

    connect(payFrom_, &QComboBox::currentIndexChanged, this, &CardPaymentDialog::updateOk);
    updateOk();
    widenFields(this);
    amount_->selectAll();
    amount_->setFocus();
}

void CardPaymentDialog::updateOk() {
    // A payment needs an account that pays it; without one the card's debt would shrink
    // with no money leaving anywhere.
    ok_->setEnabled(selectedItemId(payFrom_) != kNoId);
}

void CardPaymentDialog::store() {
    if (selectedItemId(payFrom_) == kNoId)
        return;
    form_.amount = negatedAmount(amountMagnitude(readAmountFromControl(amount_)));
    form_.description = readFieldText(description_);
    form_.payingAccount = selectedItemId(payFrom_);
    form_.date = date_->date();
    accept();
}
