#include "app/transactionlist.h"

#include "app/envelopetree.h"
#include "model/budget.h"
#include "platform/screen.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <set>

namespace {
Amount magnitude(Amount value) {
    return clampAmount(value < 0 ? -std::int64_t(value) : value);
}

const QString kHeaders[TransactionColumnCount] = {
    QStringLiteral("Date"),        QStringLiteral("Payee"),   QStringLiteral("Envelope"),
    QStringLiteral("Description"), QStringLiteral("Outflow"), QStringLiteral("Inflow")};
} // namespace

QString transactionCellText(const Budget& budget, const Transaction& t, int column) {
    switch (column) {
    case DateColumn:
        return formatDate(t.transactionTime, DateStyle::ShortDate);
    case PayeeColumn: {
        if (t.type == TransactionType::Expense)
            return t.payee;
        const Account* to = budget.findAccount(t.accountTo);
        const QString toName = to ? to->getName() : QString();
        if (const Account* from = budget.findAccount(t.accountFrom))
            return from->getName() + QStringLiteral("->") + toName;
        if (!t.payee.isEmpty())
            return t.payee + QStringLiteral("->") + toName;
        return toName;
    }
    case EnvelopeColumn: {
        if (const AccountEnvelope* envelope = budget.findEnvelope(t.category))
            return envelope->getName();
        switch (t.type) {
        case TransactionType::Expense:
            return QStringLiteral("--envelope--");
        case TransactionType::Deposit:
            return QStringLiteral("--deposit--");
        case TransactionType::Transfer:
            return QStringLiteral("--transfer--");
        case TransactionType::CCPayment:
            return QStringLiteral("--CC Payment--");
        }
        return {};
    }
    case DescriptionColumn:
        return t.description;
    case OutflowColumn:
        return t.amount <= 0 ? formatAmount(magnitude(t.amount), true) : QString();
    case InflowColumn:
        return t.amount > 0 ? formatAmount(t.amount, true) : QString();
    default:
        return {};
    }
}

bool transactionMatchesSearch(const Budget& budget, const Transaction& t, const QString& search) {
    if (search.isEmpty())
        return true;
    const auto has = [&](const QString& text) {
        return text.contains(search, Qt::CaseInsensitive);
    };
    if (has(formatDate(t.transactionTime, DateStyle::ShortDate)) || has(t.description) ||
        has(t.payee) || has(formatAmount(magnitude(t.amount), true)))
        return true;
    const AccountEnvelope* envelope = budget.findEnvelope(t.category);
    return envelope && has(envelope->getName());
}

std::vector<Transaction*> selectTransactions(const Budget& budget, const TransactionFilter& f) {
    std::vector<Transaction*> rows;
    if (f.byAccount && !f.account)
        return rows;
    std::set<ItemId> envelopeIds;
    if (f.byEnvelope) {
        if (!f.envelopeItem)
            return rows;
        f.envelopeItem->collectIds(envelopeIds);
    }
    const auto& all = budget.transactions();
    rows.reserve(all.size());
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        Transaction* t = it->get();
        if (f.byEnvelope && !envelopeIds.count(t->category))
            continue;
        if (f.byAccount && t->accountTo != f.account->id() && t->accountFrom != f.account->id())
            continue;
        if (!transactionMatchesSearch(budget, *t, f.search))
            continue;
        rows.push_back(t);
    }
    return rows;
}

// ---------------------------------------------------------------------------------------

TransactionTableModel::TransactionTableModel(const Budget& budget, QObject* parent)
    : QAbstractTableModel(parent), budget_(budget) {}

void TransactionTableModel::setRows(std::vector<Transaction*> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

Transaction* TransactionTableModel::transactionAt(int row) const {
    return row >= 0 && row < int(rows_.size()) ? rows_[row] : nullptr;
}

int TransactionTableModel::rowOf(const Transaction* t) const {
    const auto found = std::find(rows_.begin(), rows_.end(), t);
    return found == rows_.end() ? -1 : int(found - rows_.begin());
}

void TransactionTableModel::rowChanged(const Transaction* t) {
    const int row = rowOf(t);
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, TransactionColumnCount - 1));
}

QColor TransactionTableModel::shadedColour(const QColor& base) {
    return QColor((base.red() - 25) & 0xFF, (base.green() - 25) & 0xFF, (base.blue() - 25) & 0xFF);
}

int TransactionTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int TransactionTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TransactionColumnCount;
}

QVariant TransactionTableModel::data(const QModelIndex& index, int role) const {
    const Transaction* t = transactionAt(index.row());
    if (!t)
        return {};
    if (role == Qt::DisplayRole)
        return transactionCellText(budget_, *t, index.column());
    if (role == Qt::BackgroundRole && index.row() % 2 == 1)
        return shadedColour(base_);
    return {};
}

QVariant TransactionTableModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < TransactionColumnCount)
        return kHeaders[section];
    return {};
}

// ---------------------------------------------------------------------------------------

TransactionList::TransactionList(const Budget& budget, QWidget* parent)
    : QTableView(parent), model_(new TransactionTableModel(budget, this)) {
    setModel(model_);
    model_->setBaseColour(palette().color(QPalette::Base));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false); // Tab moves on to the next pane
    verticalHeader()->hide();
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    applyListFont(this);
    // Uniform rows: the view never has to measure 100,000 of them.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 6);
    horizontalHeader()->setResizeContentsPrecision(200);
}

void TransactionList::setTransactions(std::vector<Transaction*> rows) {
    setUpdatesEnabled(false);
    model_->setRows(std::move(rows));
    resizeColumnsToContents();
    setUpdatesEnabled(true);
}

void TransactionList::updateRow(const Transaction* t) {
    model_->rowChanged(t);
}

void TransactionList::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (Transaction* t = index.isValid() ? transactionAt(index.row()) : nullptr)
        emit editRequested(t);
}

void TransactionList::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(event->pos());
    Transaction* t = index.isValid() ? transactionAt(index.row()) : nullptr;
    if (!t)
        return;
    selectRow(index.row());
    emit transactionContextMenu(t, event->globalPos());
}

// ---------------------------------------------------------------------------------------

FilterBar::FilterBar(QWidget* parent)
    : QWidget(parent), showList_(new QCheckBox(QStringLiteral("Show transaction list"), this)),
      byEnvelope_(
          new QCheckBox(QStringLiteral("Only show transactions in the selected envelope"), this)),
      byAccount_(
          new QCheckBox(QStringLiteral("Only show transactions in the selected account"), this)),
      searchLabel_(new QLabel(QStringLiteral("Search transactions:"), this)),
      search_(new QLineEdit(this)), searchButton_(new QPushButton(QStringLiteral("Search"), this)) {
    showList_->setChecked(true);
    search_->setMaxLength(1023);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(showList_);
    layout->addWidget(byEnvelope_);
    layout->addWidget(byAccount_);
    layout->addSpacing(12);
    layout->addWidget(searchLabel_);
    layout->addWidget(search_, 1);
    layout->addWidget(searchButton_);
    for (QCheckBox* box : {showList_, byEnvelope_, byAccount_})
        connect(box, &QCheckBox::clicked, this, &FilterBar::changed);
    connect(searchButton_, &QPushButton::clicked, this, &FilterBar::changed);
    connect(search_, &QLineEdit::returnPressed, this, &FilterBar::changed);
    setFixedHeight(sizeHint().height());
}
