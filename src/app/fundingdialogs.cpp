#include "app/fundingdialogs.h"

#include "app/amountfield.h"
#include "app/dialogdriver.h"
#include "app/pickers.h"
#include "model/budget.h"
#include "model/prompter.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
QLineEdit* readOnlyAmount(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    return field;
}
} // namespace

FundEnvelopeDialog::FundEnvelopeDialog(const AccountEnvelope& envelope, QWidget* parent)
    : QDialog(parent), envelope_(envelope) {
    setWindowTitle("Fund Envelope");

    addBudgeted_ = new QRadioButton("Add budgeted amount", this);
    setToBudgeted_ = new QRadioButton("Set to budgeted amount", this);
    arbitrary_ = new QRadioButton("Set to an arbitrary amount", this);
    auto* choices = new QButtonGroup(this);
    for (QRadioButton* choice : {addBudgeted_, setToBudgeted_, arbitrary_})
        choices->addButton(choice);
    addBudgetedAmount_ = readOnlyAmount(this);
    setToBudgetedAmount_ = readOnlyAmount(this);
    arbitraryAmount_ = new QLineEdit(this);
    limitFieldText(arbitraryAmount_);
    current_ = readOnlyAmount(this);
    shownNewBalance_ = readOnlyAmount(this);

    auto* funding = new QGroupBox("Funding", this);
    auto* fundingRows = new QFormLayout(funding);
    fundingRows->addRow(addBudgeted_);
    fundingRows->addRow("Add amount:", addBudgetedAmount_);
    fundingRows->addRow(setToBudgeted_);
    fundingRows->addRow("Amount to add:", setToBudgetedAmount_);
    fundingRows->addRow(arbitrary_);
    fundingRows->addRow("New balance:", arbitraryAmount_);
    auto* net = new QGroupBox("Net change", this);
    auto* netRows = new QFormLayout(net);
    netRows->addRow("Current balance:", current_);
    netRows->addRow("New balance:", shownNewBalance_);

    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        newBalance_ = compute();
        accept();
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(funding);
    layout->addWidget(net);
    layout->addWidget(buttons);

    formatAmountIntoControl(addBudgetedAmount_,
                            fundingAddAmount(envelope_, FundingChoice::AddBudgeted));
    formatAmountIntoControl(setToBudgetedAmount_,
                            fundingAddAmount(envelope_, FundingChoice::SetToBudgeted));
    formatAmountIntoControl(arbitraryAmount_, 0);
    formatAmountIntoControl(current_, envelope_.getBalance());

    switch (preselectedFundingChoice(envelope_)) {
    case FundingChoice::AddBudgeted:
        addBudgeted_->setChecked(true);
        break;
    case FundingChoice::Arbitrary:
        arbitrary_->setChecked(true);
        addBudgetedAmount_->setEnabled(false);
        setToBudgetedAmount_->setEnabled(false);
        break;
    default:
        setToBudgeted_->setChecked(true);
        break;
    }
    connect(choices, &QButtonGroup::buttonClicked, this, &FundEnvelopeDialog::recompute);
    connect(choices, &QButtonGroup::buttonToggled, this, &FundEnvelopeDialog::recompute);
    connect(arbitraryAmount_, &QLineEdit::textChanged, this, &FundEnvelopeDialog::recompute);
    recompute();

    widenFields(this);
    if (arbitrary_->isChecked()) {
        arbitraryAmount_->selectAll();
        arbitraryAmount_->setFocus();
    } else {
        choices->checkedButton()->setFocus();
    }
}

FundingChoice FundEnvelopeDialog::choice() const {
    if (addBudgeted_->isChecked())
        return FundingChoice::AddBudgeted;
    if (setToBudgeted_->isChecked())
        return FundingChoice::SetToBudgeted;
    if (arbitrary_->isChecked())
        return FundingChoice::Arbitrary;
    return FundingChoice::None;
}

Amount FundEnvelopeDialog::compute() const {
    return fundingNewBalance(envelope_, choice(), readAmountFromControl(arbitraryAmount_));
}

void FundEnvelopeDialog::recompute() {
    formatAmountIntoControl(shownNewBalance_, compute());
}

bool FundEnvelopesDialog::coverDueChosen() const {
    return coverDue_->isChecked();
}

FundEnvelopesDialog::FundEnvelopesDialog(const Budget& budget, const AccountGroup& folder,
                                         QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Fund Envelopes");
    auto* explanation = new QLabel(
        "This option sets the balance of envelopes to their monthly budgeted amounts. If an "
        "envelope is a savings goal, this option adds the monthly budgeted amount to any "
        "existing balance.",
        this);
    explanation->setWordWrap(true);
    summary_ = new QLabel(fundFolderSummary(budget, folder), this);
    monthly_ = new QRadioButton(QStringLiteral("Fund envelopes to their monthly budgets"), this);
    coverDue_ =
        new QRadioButton(QStringLiteral("Fund envelopes to cover what is due this month"), this);
    monthly_->setChecked(true);
    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(summary_);
    layout->addWidget(monthly_);
    layout->addWidget(coverDue_);
    layout->addWidget(buttons);
    // A wrapped label needs a width to size against.
    explanation->setMinimumWidth(explanation->fontMetrics().averageCharWidth() * 50);
    ok_->setFocus();
}

MoveMoneyDialog::MoveMoneyDialog(const Budget& budget, Prompter& prompter,
                                 const MoveMoneyForm& form, QWidget* parent)
    : QDialog(parent), budget_(budget), prompter_(prompter), form_(form) {
    setWindowTitle("Move Money");
    from_ = new QComboBox(this);
    to_ = new QComboBox(this);
    amount_ = new QLineEdit(this);
    limitFieldText(amount_);
    auto* fields = new QFormLayout;
    fields->addRow("From envelope:", from_);
    fields->addRow("To envelope:", to_);
    fields->addRow("Amount:", amount_);
    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &MoveMoneyDialog::tryAccept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);

    const std::vector<AccountEnvelope*> envelopes = movableEnvelopes(budget_);
    for (QComboBox* combo : {from_, to_}) {
        fillEnvelopePicker(combo, envelopes, kNoId);
        combo->setMaxVisibleItems(20);
    }
    selectItemId(from_, form_.from);
    selectItemId(to_, form_.to);
    formatAmountIntoControl(amount_, form_.amount);
    widenFields(this);
    // The envelope the command came from is chosen already: the next thing to say is where.
    if (form_.from != kNoId && selectedItemId(from_) != kNoId)
        to_->setFocus();
    else
        from_->setFocus();
}

void MoveMoneyDialog::tryAccept() {
    MoveMoneyForm typed{selectedItemId(from_), selectedItemId(to_), readAmountFromControl(amount_)};
    const QString problem = moveMoneyProblem(budget_, typed);
    if (!problem.isEmpty()) {
        prompter_.inform("Move Money", problem, PromptIcon::Exclamation);
        return;
    }
    form_ = typed;
    accept();
}
