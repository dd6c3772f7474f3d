#pragma once
// The filter bar and the transaction list: newest first, filtered by envelope, account and
// a search text. A model over the budget's transactions keeps 100,000 rows cheap: texts
// are made only for the rows on screen.

#include <QAbstractTableModel>
#include <QTableView>
#include <QWidget>
#include <vector>

class AccountBase;
class Account;
class Budget;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct Transaction;

enum TransactionColumn {
    DateColumn,
    PayeeColumn,
    EnvelopeColumn,
    DescriptionColumn,
    OutflowColumn,
    InflowColumn,
    TransactionColumnCount
};

QString transactionCellText(const Budget& budget, const Transaction& t, int column);
// The search rule: date text, description, payee, amount text, then the envelope's name,
// each ignoring case. An empty search lets everything through.
bool transactionMatchesSearch(const Budget& budget, const Transaction& t, const QString& search);

struct TransactionFilter {
    bool byEnvelope = false;
    const AccountBase* envelopeItem = nullptr; // the selected tree item, if any
    bool byAccount = false;
    const Account* account = nullptr; // the selected account row, if any
    QString search;
};
// The rows to show, newest (last stored) first.
std::vector<Transaction*> selectTransactions(const Budget& budget, const TransactionFilter& f);

class TransactionTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TransactionTableModel(const Budget& budget, QObject* parent = nullptr);

    void setRows(std::vector<Transaction*> rows);
    Transaction* transactionAt(int row) const;
    int rowOf(const Transaction* t) const;
    void rowChanged(const Transaction* t);
    void setBaseColour(const QColor& base) { base_ = base; }
    // Odd rows: each channel of the base colour lowered by 25, wrapping within the byte.
    static QColor shadedColour(const QColor& base);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    const Budget& budget_;
    std::vector<Transaction*> rows_;
    QColor base_ = Qt::white;
};

class TransactionList : public QTableView {
    Q_OBJECT
public:
    explicit TransactionList(const Budget& budget, QWidget* parent = nullptr);

    TransactionTableModel* tableModel() const { return model_; }
    void setTransactions(std::vector<Transaction*> rows);
    void clearRows() { setTransactions({}); }
    void updateRow(const Transaction* t);
    Transaction* transactionAt(int row) const { return model_->transactionAt(row); }

signals:
    void editRequested(Transaction* t);
    void transactionContextMenu(Transaction* t, const QPoint& globalPos);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    TransactionTableModel* model_;
};

class FilterBar : public QWidget {
    Q_OBJECT
public:
    explicit FilterBar(QWidget* parent = nullptr);

    QCheckBox* showList() const { return showList_; }
    QCheckBox* byEnvelope() const { return byEnvelope_; }
    QCheckBox* byAccount() const { return byAccount_; }
    QLineEdit* searchField() const { return search_; }
    QPushButton* searchButton() const { return searchButton_; }

signals:
    // Any click in the bar: the list is rebuilt and the window laid out again.
    void changed();

private:
    QCheckBox* showList_;
    QCheckBox* byEnvelope_;
    QCheckBox* byAccount_;
    QLabel* searchLabel_;
    QLineEdit* search_;
    QPushButton* searchButton_;
};
