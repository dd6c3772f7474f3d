#include "app/reconciledialog.h"

#include "app/amountfield.h"
#include "app/datefield.h"
#include "app/transactiontable.h"
#include "model/budget.h"
#include "model/clock.h"
#include "platform/screen.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

ReconcileModel::ReconcileModel(const Budget& budget, Reconciliation& reconciliation,
                               QObject* parent)
    : QAbstractTableModel(parent), budget_(budget), r_(reconciliation) {}

void ReconcileModel::reload() {
    beginResetModel();
    endResetModel();
}

void ReconcileModel::ticksChanged() {
    if (rowCount() > 0)
        emit dataChanged(index(0, TickColumn), index(rowCount() - 1, TickColumn));
}

int ReconcileModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(r_.rows().size());
}

int ReconcileModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ReconcileModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const ReconcileRow& row = r_.rows()[std::size_t(index.row())];
    if (index.column() == TickColumn && role == Qt::CheckStateRole)
        return row.ticked ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::TextAlignmentRole && index.column() == AmountColumn)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case DateColumn:
        return formatDate(row.t->transactionTime, DateStyle::ShortDate);
    case PayeeColumn:
        return transactionCellText(budget_, *row.t, ::PayeeColumn);
    case EnvelopeColumn:
        if (!row.otherParts.empty())
            return QStringLiteral("Split (%1)").arg(row.otherParts.size() + 1);
        return transactionCellText(budget_, *row.t, ::EnvelopeColumn);
    case AmountColumn:
        return formatAmount(clampAmount(row.change), true);
    default:
        return {};
    }
}

bool ReconcileModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != TickColumn || role != Qt::CheckStateRole)
        return false;
    r_.setTicked(std::size_t(index.row()), Qt::CheckState(value.toInt()) == Qt::Checked);
    emit dataChanged(index, index);
    emit tickToggled();
    return true;
}

Qt::ItemFlags ReconcileModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == TickColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant ReconcileModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TickColumn:
        return QStringLiteral("On statement");
    case DateColumn:
        return QStringLiteral("Date");
    case PayeeColumn:
        return QStringLiteral("Payee");
    case EnvelopeColumn:
        return QStringLiteral("Envelope");
    case AmountColumn:
        return QStringLiteral("Amount");
    default:
        return {};
    }
}

// ---------------------------------------------------------------------------------------

namespace {
QDate qdateOf(const DateTime& dt) {
    return dt.isSet() ? QDate(dt.year, dt.month, dt.day) : QDate();
}
} // namespace

ReconcileDialog::ReconcileDialog(const Budget& budget, const Account& account, QWidget* parent)
    : QDialog(parent), budget_(budget) {
    setWindowTitle(QStringLiteral("Reconcile %1").arg(account.getName()));
    // The last imported statement, unless a reconcile already went past it.
    const bool fromStatement = account.statementDate().isSet() &&
                               (!account.reconciledDate().isSet() ||
                                isEarlier(account.reconciledDate(), account.statementDate()));
    prefilled_ = fromStatement;
    const QDate day = fromStatement ? qdateOf(account.statementDate()) : dayOf(Clock::now());
    DateTime statementDay = fromQDateTime(day.startOfDay());
    r_ = std::make_unique<Reconciliation>(budget, account, statementDay);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    date_ = newDateField(this, day);
    balance_ = new QLineEdit(this);
    limitFieldText(balance_);
    if (fromStatement)
        formatAmountIntoControl(balance_, account.statementBalance());
    form->addRow(QStringLiteral("Statement date:"), date_);
    form->addRow(QStringLiteral("Ending balance:"), balance_);
    layout->addLayout(form);
    QString note;
    if (fromStatement)
        note = QStringLiteral("From the statement imported last (closing balance of %1).")
                   .arg(formatDate(account.statementDate(), DateStyle::ShortDate));
    if (account.reconciledDate().isSet())
        note += (note.isEmpty() ? QString() : QStringLiteral("\n")) +
                QStringLiteral("Last reconciled with the statement of %1 at %2.")
                    .arg(formatDate(account.reconciledDate(), DateStyle::ShortDate),
                         formatAmount(account.reconciledBalance(), true));
    if (!note.isEmpty())
        layout->addWidget(new QLabel(note, this));

    model_ = new ReconcileModel(budget, *r_, this);
    table_ = new QTableView(this);
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    // Uniform rows: thirty thousand of them are never measured one by one.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    applyListFont(table_);
    table_->verticalHeader()->setDefaultSectionSize(QFontMetrics(table_->font()).height() + 6);
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->horizontalHeader()->setSectionResizeMode(ReconcileModel::PayeeColumn,
                                                     QHeaderView::Stretch);
    const QFontMetrics fm(table_->font());
    table_->setColumnWidth(ReconcileModel::TickColumn,
                           fm.horizontalAdvance(QStringLiteral("On statement")) + 24);
    table_->setColumnWidth(ReconcileModel::DateColumn,
                           fm.horizontalAdvance(QStringLiteral("00/00/0000")) + 16);
    table_->setColumnWidth(ReconcileModel::EnvelopeColumn,
                           fm.horizontalAdvance(QStringLiteral("Envelope name here")) + 16);
    table_->setColumnWidth(ReconcileModel::AmountColumn,
                           fm.horizontalAdvance(formatAmount(-123456789, true)) + 16);
    table_->setMinimumSize(fm.horizontalAdvance(QLatin1Char('x')) * 90, fm.height() * 16);
    layout->addWidget(table_, 1);

    auto* totals = new QHBoxLayout;
    cleared_ = new QLabel(this);
    difference_ = new QLabel(this);
    match_ = new QPushButton(this);
    totals->addWidget(cleared_);
    totals->addSpacing(24);
    totals->addWidget(difference_);
    totals->addStretch(1);
    totals->addWidget(match_);
    layout->addLayout(totals);

    auto* buttons = new QDialogButtonBox(this);
    finish_ = buttons->addButton(QStringLiteral("Finish"), QDialogButtonBox::AcceptRole);
    adjustButton_ = buttons->addButton(QStringLiteral("Finish with an adjustment"),
                                       QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    finish_->setDefault(true);
    layout->addWidget(buttons);
    connect(finish_, &QPushButton::clicked, this, [this] {
        adjust_ = false;
        accept();
    });
    connect(adjustButton_, &QPushButton::clicked, this, [this] {
        adjust_ = true;
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(model_, &ReconcileModel::tickToggled, this, &ReconcileDialog::refresh);
    connect(balance_, &QLineEdit::textChanged, this, &ReconcileDialog::refresh);
    connect(date_, &QDateEdit::dateChanged, this, &ReconcileDialog::dateChanged);
    connect(match_, &QPushButton::clicked, this, &ReconcileDialog::selectMatch);
    refresh();
    if (!r_->rows().empty())
        table_->scrollToBottom(); // the newest, which the statement is about
}

ReconcileDialog::~ReconcileDialog() = default;

QDate ReconcileDialog::statementDay() const {
    return date_->date();
}

Amount ReconcileDialog::statementBalance() const {
    return readAmountFromControl(balance_);
}

void ReconcileDialog::dateChanged() {
    r_->setStatementDate(fromQDateTime(date_->date().startOfDay()));
    model_->reload();
    refresh();
}

void ReconcileDialog::refresh() {
    const std::int64_t statement = statementBalance();
    const std::int64_t difference = r_->difference(statement);
    cleared_->setText(QStringLiteral("Cleared balance: %1")
                          .arg(formatAmount(clampAmount(r_->clearedTotal()), true)));
    difference_->setText(
        QStringLiteral("Difference: %1").arg(formatAmount(clampAmount(difference), true)));
    finish_->setEnabled(difference == 0);
    adjustButton_->setEnabled(difference != 0);
    finish_->setDefault(difference == 0);
    const auto set = r_->closingSet(statement);
    match_->setVisible(set.has_value());
    if (set)
        match_->setText(set->size() == 1
                            ? QStringLiteral("Tick the 1 transaction that closes the difference")
                            : QStringLiteral("Tick the %1 transactions that close the difference")
                                  .arg(set->size()));
}

void ReconcileDialog::selectMatch() {
    const auto set = r_->closingSet(statementBalance());
    if (!set)
        return;
    for (std::size_t row : *set)
        r_->setTicked(row, true);
    model_->ticksChanged();
    if (!set->empty())
        table_->scrollTo(model_->index(int(set->front()), 0));
    refresh();
}
