#include "app/fundingdialogs.h"

#include "app/amountfield.h"
#include "app/dialogdriver.h"
#include "model/budget.h"

#include <QButtonGroup>
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
    fundingRows->addRow("Add amount:", setToBudgetedAmount_);
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
