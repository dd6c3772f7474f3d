#include "app/splitdialog.h"

#include "app/amountfield.h"
#include "app/dialogdriver.h"
#include "app/pickers.h"
#include "model/budget.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
enum SplitColumn { EnvelopeCol, AmountCol, DescriptionCol };
constexpr int kMinimumRows = 3;
} // namespace

SplitDialog::SplitDialog(const Budget& budget, Amount total, const std::vector<SplitPart>& parts,
                         QWidget* parent)
    : QDialog(parent), budget_(budget), total_(total) {
    setWindowTitle(QStringLiteral("Split Transaction"));
    auto* heading = new QLabel(
        QStringLiteral("Amount: %1").arg(formatAmount(negatedAmount(total_), true)), this);
    table_ = new QTableWidget(0, 3, this);
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Envelope"), QStringLiteral("Amount"), QStringLiteral("Description")});
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->horizontalHeader()->setStretchLastSection(true);
    remaining_ = new QLabel(this);
    add_ = new QPushButton(QStringLiteral("Add part"), this);
    remove_ = new QPushButton(QStringLiteral("Remove part"), this);
    distribute_ = new QPushButton(QStringLiteral("Distribute"), this);
    distribute_->setToolTip(QStringLiteral("Share what is left evenly among the empty parts"));
    for (QPushButton* b : {add_, remove_, distribute_})
        b->setAutoDefault(false);

    auto* row = new QHBoxLayout;
    row->addWidget(remaining_, 1);
    row->addWidget(add_);
    row->addWidget(remove_);
    row->addWidget(distribute_);
    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (ok_->isEnabled())
            accept();
    });
    connect(add_, &QPushButton::clicked, this, [this] {
        addRow({});
        update();
    });
    connect(remove_, &QPushButton::clicked, this, &SplitDialog::removeCurrentRow);
    connect(distribute_, &QPushButton::clicked, this, &SplitDialog::distribute);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(table_, 1);
    layout->addLayout(row);
    layout->addWidget(buttons);

    for (const SplitPart& part : parts)
        addRow(part);
    while (table_->rowCount() < kMinimumRows)
        addRow({});
    const int average = fontMetrics().averageCharWidth();
    table_->setColumnWidth(EnvelopeCol, average * 28);
    table_->setColumnWidth(AmountCol, average * 14);
    table_->setMinimumWidth(average * 80);
    table_->setMinimumHeight(table_->verticalHeader()->defaultSectionSize() * 6);
    update();
    if (QLineEdit* first = amountField(0))
        first->setFocus();
}

void SplitDialog::addRow(const SplitPart& part) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    auto* envelope = new QComboBox(table_);
    fillEnvelopePicker(envelope, budget_, part.envelope);
    auto* amount = new QLineEdit(table_);
    limitFieldText(amount);
    amount->setAlignment(Qt::AlignRight);
    if (part.amount != 0)
        formatAmountIntoControl(amount, negatedAmount(part.amount));
    auto* description = new QLineEdit(part.description, table_);
    limitFieldText(description);
    table_->setCellWidget(row, EnvelopeCol, envelope);
    table_->setCellWidget(row, AmountCol, amount);
    table_->setCellWidget(row, DescriptionCol, description);
    connect(amount, &QLineEdit::textChanged, this, &SplitDialog::update);
    connect(envelope, &QComboBox::currentIndexChanged, this, &SplitDialog::update);
    // The focused row is the one "Remove part" takes away.
    for (QWidget* field : {static_cast<QWidget*>(envelope), static_cast<QWidget*>(amount),
                           static_cast<QWidget*>(description)})
        field->installEventFilter(this);
}

bool SplitDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        for (int row = 0; row < rowCount(); ++row)
            for (int column : {EnvelopeCol, AmountCol, DescriptionCol})
                if (table_->cellWidget(row, column) == watched)
                    table_->setCurrentCell(row, column);
    return QDialog::eventFilter(watched, event);
}

void SplitDialog::removeCurrentRow() {
    int row = table_->currentRow();
    for (int r = 0; r < rowCount(); ++r)
        for (int column : {EnvelopeCol, AmountCol, DescriptionCol})
            if (table_->cellWidget(r, column)->hasFocus())
                row = r;
    if (row < 0)
        row = table_->rowCount() - 1;
    if (row < 0)
        return;
    table_->removeRow(row);
    if (table_->rowCount() == 0)
        addRow({});
    update();
}

int SplitDialog::rowCount() const {
    return table_->rowCount();
}

QComboBox* SplitDialog::envelopeField(int row) const {
    return qobject_cast<QComboBox*>(table_->cellWidget(row, EnvelopeCol));
}

QLineEdit* SplitDialog::amountField(int row) const {
    return qobject_cast<QLineEdit*>(table_->cellWidget(row, AmountCol));
}

QLineEdit* SplitDialog::descriptionField(int row) const {
    return qobject_cast<QLineEdit*>(table_->cellWidget(row, DescriptionCol));
}

Amount SplitDialog::typedAmount(int row) const {
    const QLineEdit* field = amountField(row);
    return field ? negatedAmount(readAmountFromControl(field)) : 0;
}

bool SplitDialog::rowIsEmpty(int row) const {
    return typedAmount(row) == 0;
}

std::vector<SplitPart> SplitDialog::parts() const {
    std::vector<SplitPart> out;
    for (int row = 0; row < rowCount(); ++row) {
        if (rowIsEmpty(row))
            continue;
        out.push_back(SplitPart{selectedItemId(envelopeField(row)), typedAmount(row),
                                readFieldText(descriptionField(row))});
    }
    return out;
}

std::int64_t SplitDialog::remaining() const {
    return std::int64_t(total_) - splitTotal(parts());
}

void SplitDialog::distribute() {
    std::vector<int> empty;
    for (int row = 0; row < rowCount(); ++row)
        if (rowIsEmpty(row))
            empty.push_back(row);
    const std::int64_t left = remaining();
    if (empty.empty() || left == 0)
        return;
    const std::int64_t n = std::int64_t(empty.size());
    const std::int64_t share = left / n;
    std::int64_t odd = left - share * n; // same sign as left, fewer than n cents
    for (int row : empty) {
        std::int64_t amount = share;
        if (odd > 0) {
            ++amount;
            --odd;
        } else if (odd < 0) {
            --amount;
            ++odd;
        }
        formatAmountIntoControl(amountField(row), negatedAmount(amount));
    }
    update();
}

void SplitDialog::update() {
    const std::int64_t left = remaining();
    remaining_->setText(
        QStringLiteral("Remaining: %1").arg(formatAmount(clampAmount(-left), true)));
    bool envelopes = true;
    const std::vector<SplitPart> entered = parts();
    for (const SplitPart& part : entered)
        envelopes = envelopes && budget_.findEnvelope(part.envelope);
    ok_->setEnabled(left == 0 && !entered.empty() && envelopes);
    ok_->setToolTip(ok_->isEnabled()
                        ? QString()
                        : (left != 0 ? QStringLiteral("The parts must add up to the amount")
                                     : QStringLiteral("Every part needs an envelope")));
}
