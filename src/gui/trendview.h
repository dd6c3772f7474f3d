#pragma once
// The view of the reports over time in the report window: the chart above, a table below
// (the report's figures, or the transactions of a clicked bar) and a line saying what is shown.

#include "gui/trendchart.h"
#include "reports/trends.h"

#include <QWidget>

#include <QAbstractTableModel>

class QLabel;
class QTableView;

// A report table for a view: long tables (every envelope by month) cost no item per cell.
class ReportTableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setTable(ReportTable table, int firstAmountColumn);
    const ReportTable& table() const { return table_; }
    QString displayText(int row, int column) const;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    ReportTable table_;
    int firstAmountColumn_ = 1;
};

enum class TrendKind { Spending = 1, IncomeSpending = 2, EnvelopeHistory = 3, NetWorth = 4 };

struct TrendOptions {
    MonthRange range;
    SpendingPeriod period = SpendingPeriod::Month;
    SpendingGrouping grouping = SpendingGrouping::Envelope;
    ItemId envelope = kNoId; // the envelope history of one envelope; kNoId: all of them
};

class TrendView : public QWidget {
    Q_OBJECT
public:
    TrendView(const Budget& budget, QWidget* parent = nullptr);

    void show(TrendKind kind, const TrendOptions& options);
    // The shown report's figures (not a clicked bar's transactions), for CSV and print.
    ReportTable reportTable(bool asCurrency) const;
    QString title() const;

    TrendChart* chart() const { return chart_; }
    QTableView* table() const { return table_; }
    const ReportTableModel& tableModel() const { return *model_; }
    QLabel* note() const { return note_; }
    // Lists the expenses of a period of the spending report in the table.
    void listPeriod(int index);

private:
    void fillTable(ReportTable table, int firstAmountColumn);

    const Budget& budget_;
    TrendKind kind_ = TrendKind::Spending;
    TrendOptions options_;
    SpendingReport spending_;
    std::vector<IncomeSpendingMonth> income_;
    std::vector<EnvelopeHistory> envelopes_;
    std::vector<NetWorthMonth> netWorth_;
    TrendChart* chart_ = nullptr;
    QLabel* note_ = nullptr;
    QTableView* table_ = nullptr;
    ReportTableModel* model_ = nullptr;
};
