#include "app/settingsdialogs.h"

#include "app/amountfield.h"
#include "app/dialogdriver.h"
#include "app/pickers.h"
#include "gui/payeecompletion.h"
#include "model/budget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
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

QLabel* explanation(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    // Wrapped labels need a width to size against; about 55 average characters.
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 55);
    return label;
}
} // namespace

AccountSettingsDialog::AccountSettingsDialog(Prompter& prompter, const AccountForm& form,
                                             QWidget* parent)
    : QDialog(parent), prompter_(prompter), form_(form) {
    setWindowTitle("Account Settings");
    name_ = newTextField(this);
    balance_ = newTextField(this);
    inBudget_ = new QCheckBox("In-budget account", this);
    creditCard_ = new QCheckBox("Credit card account", this);

    auto* fields = new QFormLayout;
    fields->addRow("Account name:", name_);
    fields->addRow("Account balance:", balance_);
    auto* group = new QGroupBox("Budget settings", this);
    auto* groupRows = new QVBoxLayout(group);
    groupRows->addWidget(explanation(
        "Funds from in-budget accounts can be used to fill envelopes. If you frequently spend "
        "from this account and it's not a credit card account, it should be in-budget.",
        group));
    groupRows->addWidget(inBudget_);
    groupRows->addWidget(explanation(
        "Check this checkbox if this account is a credit card. When you pay expenses from "
        "credit card accounts, funds move from the expense envelope to an auto-created 'pay "
        "credit card' envelope.",
        group));
    groupRows->addWidget(creditCard_);
    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &AccountSettingsDialog::tryAccept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(group);
    layout->addWidget(buttons);

    name_->setText(form_.name);
    formatAmountIntoControl(balance_, form_.balance);
    inBudget_->setChecked(form_.inBudget);
    creditCard_->setChecked(form_.creditCard);

    connect(name_, &QLineEdit::textChanged, this, &AccountSettingsDialog::updateEnabling);
    connect(balance_, &QLineEdit::textChanged, this, &AccountSettingsDialog::updateEnabling);
    connect(inBudget_, &QCheckBox::toggled, this, &AccountSettingsDialog::updateEnabling);
    connect(creditCard_, &QCheckBox::toggled, this, &AccountSettingsDialog::updateEnabling);
    updateEnabling();
    widenFields(this);
    name_->setFocus();
}

void AccountSettingsDialog::updateEnabling() {
    // A card is never in-budget.
    if (creditCard_->isChecked()) {
        inBudget_->setChecked(false);
        inBudget_->setEnabled(false);
    } else {
        inBudget_->setEnabled(true);
    }
    ok_->setEnabled(!name_->text().isEmpty());
}

void AccountSettingsDialog::tryAccept() {
    if (name_->text().isEmpty())
        return;
    const Amount balance = readAmountFromControl(balance_);
    if (!confirmAccountBalance(prompter_, creditCard_->isChecked(), balance))
        return;
    form_.name = readFieldText(name_);
    form_.balance = balance;
    form_.inBudget = inBudget_->isChecked();
    form_.creditCard = creditCard_->isChecked();
    accept();
}

FolderDialog::FolderDialog(const FolderForm& form, QWidget* parent) : QDialog(parent), form_(form) {
    setWindowTitle("Folder");
    name_ = newTextField(this);
    limit_ = newTextField(this);
    auto* fields = new QFormLayout;
    fields->addRow("Folder name:", name_);
    fields->addRow("Expense limit:", limit_);
    fields->addRow(explanation("Setting an expense limit helps plan the budget. As envelopes are "
                               "added under a folder, Tallykeep reports how close the "
                               "folder is to reaching its limit. ",
                               this));
    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (name_->text().isEmpty())
            return;
        // A limit is a magnitude: "-500" means the same limit as "500".
        form_.expenseLimit = negatedAmount(amountMagnitude(readAmountFromControl(limit_)));
        form_.name = readFieldText(name_);
        accept();
    });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);

    formatAmountIntoControl(limit_, amountMagnitude(form_.expenseLimit));
    name_->setText(form_.name);
    const auto update = [this] { ok_->setEnabled(!name_->text().isEmpty()); };
    connect(name_, &QLineEdit::textChanged, this, update);
    update();
    widenFields(this);
    name_->setFocus();
}

EnvelopeDialog::EnvelopeDialog(const Budget& budget, const EnvelopeForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
    setWindowTitle("Envelope");
    name_ = newTextField(this);
    budget_ = newTextField(this);
    goalBox_ = new QCheckBox("This envelope is a savings goal", this);
    goal_ = newTextField(this);
    account_ = new QComboBox(this);
    account_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    payee_ = new QComboBox(this);
    payee_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    amount_ = newTextField(this);

    auto* settings = new QGroupBox("Envelope settings", this);
    auto* settingsRows = new QFormLayout(settings);
    settingsRows->addRow("Envelope name:", name_);
    if (!form_.folders.empty()) {
        folder_ = new QComboBox(this);
        for (ItemId id : form_.folders)
            if (const AccountBase* folder = budget.findItem(id))
                folder_->addItem(folder->getName(), QVariant::fromValue<quint32>(id));
        selectItemId(folder_, form_.folder);
        if (folder_->currentIndex() < 0)
            folder_->setCurrentIndex(0);
        settingsRows->addRow("Folder:", folder_);
    }
    settingsRows->addRow("Monthly budget:", budget_);
    settingsRows->addRow(goalBox_);
    settingsRows->addRow("Goal amount:", goal_);
    settingsRows->addRow(explanation(
        "Savings goals are used to save money each month for a long term goal. Examples "
        "include saving for an auto insurance policy paid every six months, or saving for a "
        "down payment for a home.",
        settings));
    auto* defaults = new QGroupBox("Default transaction settings", this);
    auto* defaultRows = new QFormLayout(defaults);
    defaultRows->addRow(explanation(
        "When a transaction is created in this envelope the transaction dialog box will be "
        "populated with these settings. Any value may be left blank.",
        defaults));
    defaultRows->addRow("Account:", account_);
    defaultRows->addRow("Payee:", payee_);
    defaultRows->addRow("Amount:", amount_);
    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &EnvelopeDialog::store);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(settings);
    layout->addWidget(defaults);
    layout->addWidget(buttons);

    name_->setText(form_.name);
    std::vector<Account*> accounts;
    for (AccountBase* item : budget.itemsOfType(ItemType::Account))
        accounts.push_back(static_cast<Account*>(item));
    fillAccountPicker(account_, accounts, form_.defaultPayFromAccount, AccountFallback::FirstEntry);
    formatAmountIntoControl(budget_, amountMagnitude(form_.monthlyBudget));
    fillPayeeChoices(payee_, budget, QString());
    payee_->setEditText(form_.defaultPayee);
    formatAmountIntoControl(amount_, amountMagnitude(form_.defaultAmount));
    goalBox_->setChecked(form_.savingsGoal != 0);
    if (form_.savingsGoal != 0)
        formatAmountIntoControl(goal_, form_.savingsGoal);
    // The charges envelope only ever collects card spending; it cannot become a goal.
    goalBox_->setEnabled(!form_.isChargesEnvelope);

    connect(name_, &QLineEdit::textChanged, this, &EnvelopeDialog::updateEnabling);
    connect(goal_, &QLineEdit::textChanged, this, &EnvelopeDialog::updateEnabling);
    connect(goalBox_, &QCheckBox::toggled, this, &EnvelopeDialog::updateEnabling);
    connect(account_, &QComboBox::currentIndexChanged, this, &EnvelopeDialog::updateEnabling);
    connect(payee_, &QComboBox::editTextChanged, this, &EnvelopeDialog::updateEnabling);
    updateEnabling();
    widenFields(this);
    name_->setFocus();
}

void EnvelopeDialog::updateEnabling() {
    goal_->setEnabled(goalBox_->isChecked());
    ok_->setEnabled(!name_->text().isEmpty() &&
                    (!goalBox_->isChecked() || !goal_->text().isEmpty()));
}

void EnvelopeDialog::store() {
    if (!ok_->isEnabled())
        return;
    form_.name = readFieldText(name_);
    if (folder_)
        form_.folder = selectedItemId(folder_);
    form_.defaultPayFromAccount = selectedItemId(account_);
    form_.defaultPayee = readFieldText(payee_);
    form_.defaultAmount = negatedAmount(amountMagnitude(readAmountFromControl(amount_)));
    // Budgets and goals are magnitudes, whatever sign was typed.
    form_.monthlyBudget = negatedAmount(amountMagnitude(readAmountFromControl(budget_)));
    form_.savingsGoal = goalBox_->isChecked() ? amountMagnitude(readAmountFromControl(goal_)) : 0;
    accept();
}
