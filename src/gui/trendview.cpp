#include "gui/trendview.h"

#include "model/clock.h"
#include "platform/screen.h"

#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QString categoryText(QDate start, SpendingPeriod period) {
    const QLocale locale;
    if (period == SpendingPeriod::Week)
        return locale.toString(start, QStringLiteral("d MMM"));
    return locale.toString(start, QStringLiteral("MMM yy"));
}

QStringList monthCategories(const MonthRange& range) {
    QStringList categories;
    for (int i = 0; i < range.count(); ++i)
        categories << categoryText(range.month(i), SpendingPeriod::Month);
    return categories;
}

const QColor kIncome(0x59, 0xa1, 0x4f);
const QColor kSpending(0xe1, 0x57, 0x59);
const QColor kFunded(0x4e, 0x79, 0xa7);
const QColor kCovered(0xf2, 0x8e, 0x2b);
const QColor kOverspent(0xd6, 0x27, 0x28);

} // namespace

void ReportTableModel::setTable(ReportTable table, int firstAmountColumn) {
    beginResetModel();
    table_ = std::move(table);
    firstAmountColumn_ = firstAmountColumn;
    endResetModel();
}

QString ReportTableModel::displayText(int row, int column) const {
    const QString text = table_.rows[size_t(row)].value(column);
    // Amounts are kept plain and put in the currency form only when shown: formatting every
    // cell of a long table up front costs more than the rest of the report.
    if (column >= firstAmountColumn_)
        return formatAmount(parseAmount(text), true);
    return text;
}

int ReportTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(table_.rows.size());
}

int ReportTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(table_.headers.size());
}

QVariant ReportTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return displayText(index.row(), index.column());
    if (role == Qt::TextAlignmentRole && index.column() >= firstAmountColumn_)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant ReportTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return table_.headers.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

TrendView::TrendView(const Budget& budget, QWidget* parent) : QWidget(parent), budget_(budget) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    chart_ = new TrendChart(splitter);
    auto* lower = new QWidget(splitter);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 4, 0, 0);
    note_ = new QLabel(lower);
    note_->setWordWrap(true);
    table_ = new QTableView(lower);
    model_ = new ReportTableModel(table_);
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->setWordWrap(false);
    applyListFont(table_);
    table_->verticalHeader()->setDefaultSectionSize(QFontMetrics(table_->font()).height() + 6);
    lowerLayout->addWidget(note_);
    lowerLayout->addWidget(table_, 1);
    splitter->addWidget(chart_);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setChildrenCollapsible(false);
    layout->addWidget(splitter);
    connect(chart_, &TrendChart::categoryClicked, this, [this](int index) {
        if (kind_ == TrendKind::Spending)
            listPeriod(index);
    });
}

QString TrendView::title() const {
    switch (kind_) {
    case TrendKind::Spending:
        return QStringLiteral("Spending over time");
    case TrendKind::IncomeSpending:
        return QStringLiteral("Income and spending");
    case TrendKind::EnvelopeHistory:
        return QStringLiteral("Envelope history");
    case TrendKind::NetWorth:
        return QStringLiteral("Net worth");
    }
    return {};
}

void TrendView::show(TrendKind kind, const TrendOptions& options) {
    kind_ = kind;
    options_ = options;
    ChartData data;
    switch (kind) {
    case TrendKind::Spending: {
        spending_ = spendingOverTime(budget_, options.range, options.period, options.grouping);
        for (const QDate& start : spending_.periodStarts)
            data.categories << categoryText(start, options.period);
        int colour = 0;
        for (const SpendingSeries& s : spending_.series)
            data.stacks.push_back(
                {s.name, s.other ? QColor(0x9a, 0x9a, 0x9a) : seriesColour(colour++), s.values, 0});
        data.totalsOnBars = true;
        note_->setText(QStringLiteral("Click a bar to list its expenses."));
        break;
    }
    case TrendKind::IncomeSpending: {
        income_ = incomeAndSpending(budget_, options.range);
        data.categories = monthCategories(options.range);
        ChartSeries income{QStringLiteral("Income"), kIncome, {}, 0};
        ChartSeries spending{QStringLiteral("Spending"), kSpending, {}, 1};
        ChartLine saved{QStringLiteral("Saved (overspent below zero)"), QColor(), {}, true};
        for (const IncomeSpendingMonth& m : income_) {
            income.values.push_back(m.income);
            spending.values.push_back(m.spending);
            saved.values.push_back(m.difference());
        }
        data.stacks = {income, spending};
        data.lines = {saved};
        note_->setText(QStringLiteral("Deposits against expenses; transfers and card payments "
                                      "move money without earning or spending it."));
        break;
    }
    case TrendKind::EnvelopeHistory: {
        envelopes_ = envelopeHistory(budget_, options.range, Clock::now());
        if (options.envelope != kNoId) {
            std::erase_if(envelopes_,
                          [&](const EnvelopeHistory& e) { return e.id != options.envelope; });
        }
        data.categories = monthCategories(options.range);
        const size_t n = size_t(options.range.count());
        ChartSeries funded{QStringLiteral("Funded"), kFunded, std::vector<Cents>(n, 0), 0};
        ChartSeries covered{QStringLiteral("Spent"), kCovered, std::vector<Cents>(n, 0), 1};
        ChartSeries over{QStringLiteral("Overspent (dropped at zero)"), kOverspent,
                         std::vector<Cents>(n, 0), 1};
        ChartLine balance{QStringLiteral("Balance at month end"), QColor(),
                          std::vector<Cents>(n, 0), true};
        for (const EnvelopeHistory& e : envelopes_) {
            for (size_t i = 0; i < n && i < e.months.size(); ++i) {
                funded.values[i] += e.months[i].funded;
                covered.values[i] += e.months[i].spent - e.months[i].dropped;
                over.values[i] += e.months[i].dropped;
                balance.values[i] += e.months[i].balance;
            }
        }
        data.stacks = {funded, covered, over};
        data.lines = {balance};
        note_->setText(QStringLiteral(
            "Funding is not recorded, so it is estimated: each month the envelope is set to its "
            "monthly budget (a savings goal gets it added; without a budget, what the month "
            "needed). This month ends at today's balance. Overspent: what an expense took "
            "beyond the balance, which the envelope's floor at zero dropped."));
        break;
    }
    case TrendKind::NetWorth: {
        netWorth_ = netWorth(budget_, options.range);
        data.categories = monthCategories(options.range);
        ChartLine total{QStringLiteral("Net worth"), QColor(), {}, true};
        ChartLine in{QStringLiteral("In budget"), seriesColour(0), {}, false};
        ChartLine off{QStringLiteral("Off budget"), seriesColour(2), {}, false};
        ChartLine cards{QStringLiteral("Cards"), seriesColour(3), {}, false};
        for (const NetWorthMonth& m : netWorth_) {
            total.values.push_back(m.total());
            in.values.push_back(m.inBudget);
            off.values.push_back(m.offBudget);
            cards.values.push_back(m.cards);
        }
        data.lines = {in, off, cards, total};
        note_->setText(QStringLiteral("All accounts, hidden ones too, at each month's end: "
                                      "today's balances with the later transactions taken "
                                      "back."));
        break;
    }
    }
    chart_->setData(std::move(data));
    fillTable(reportTable(false), kind == TrendKind::EnvelopeHistory ? 3 : 1);
}

ReportTable TrendView::reportTable(bool asCurrency) const {
    switch (kind_) {
    case TrendKind::Spending:
        return spendingTable(spending_, asCurrency);
    case TrendKind::IncomeSpending:
        return incomeSpendingTable(income_, asCurrency);
    case TrendKind::EnvelopeHistory:
        return envelopeHistoryTable(envelopes_, asCurrency);
    case TrendKind::NetWorth:
        return netWorthTable(netWorth_, asCurrency);
    }
    return {};
}

void TrendView::fillTable(ReportTable table, int firstAmountColumn) {
    // Widths from the header and the first rows: a long table repeats the same widths.
    const QFontMetrics metrics(table_->font());
    std::vector<int> widths;
    for (int c = 0; c < int(table.headers.size()); ++c) {
        int width = metrics.horizontalAdvance(table.headers[c]);
        for (size_t r = 0; r < std::min<size_t>(table.rows.size(), 400); ++r)
            width =
                std::max(width, metrics.horizontalAdvance(
                                    c >= firstAmountColumn
                                        ? formatAmount(parseAmount(table.rows[r].value(c)), true)
                                        : table.rows[r].value(c)));
        widths.push_back(width + 24);
    }
    model_->setTable(std::move(table), firstAmountColumn);
    for (int c = 0; c < int(widths.size()); ++c)
        table_->setColumnWidth(c, widths[size_t(c)]);
}

void TrendView::listPeriod(int index) {
    if (index < 0 || index >= int(spending_.periodStarts.size()))
        return;
    const QDate first = spending_.periodStarts[size_t(index)];
    const QDate last = spending_.periodEnd(index);
    ReportTable table;
    table.headers = {QStringLiteral("Date"), QStringLiteral("Payee"), QStringLiteral("Envelope"),
                     QStringLiteral("Account"), QStringLiteral("Spent")};
    Cents total = 0;
    for (const Transaction* t : expensesBetween(budget_, first, last)) {
        const AccountBase* envelope = budget_.findItem(t->category);
        const AccountBase* account = budget_.findItem(t->accountFrom);
        table.rows.push_back({formatDate(t->transactionTime, DateStyle::ShortDate), t->payee,
                              envelope ? envelope->getName() : QString(),
                              account ? account->getName() : QString(),
                              moneyText(-Cents(t->amount), false)});
        total -= t->amount;
    }
    const QLocale locale;
    note_->setText(QStringLiteral("Expenses from %1 to %2: %3, together %4. Click another bar "
                                  "for its expenses.")
                       .arg(locale.toString(first, QLocale::ShortFormat),
                            locale.toString(last, QLocale::ShortFormat))
                       .arg(table.rows.size())
                       .arg(moneyText(total, true)));
    fillTable(table, 4);
    chart_->setHighlighted(index);
}
