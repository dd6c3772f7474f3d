#pragma once
// What the transaction list shows: the rows a filter lets through (newest first), their texts,
// the search rule, and the table model over them. A model over the budget's transactions keeps
// 100,000 rows cheap: texts are made only for the rows on screen and for the few that size a
// column.

#include "model/items.h"
#include "model/money.h"
#include "model/schedule.h"
#include "model/transaction.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QLocale>
#include <QStringMatcher>
#include <set>
#include <unordered_map>
#include <vector>

class AccountBase;
class Account;
class Budget;
struct Transaction;

enum TransactionColumn {
    DateColumn,
    AccountColumn,
    PayeeColumn,
    EnvelopeColumn,
    DescriptionColumn,
    OutflowColumn,
    InflowColumn,
    BalanceColumn, // only while the list shows one account
    // Shown between "Inflow" and "Balance": the side's cleared state, a click toggles it.
    ClearedColumn,
    ClearedBalanceColumn, // only while the list shows one account
    TransactionColumnCount
};

// The amount as the list shows it: the transaction's own, or, seen from one account, what it
// adds to that account's balance (negative: money leaving it).
std::int64_t shownAmount(const Transaction& t, ItemId sideAccount);
// The text of a column other than "Balance"; amounts from sideAccount's side when it is set.
QString transactionCellText(const Budget& budget, const Transaction& t, int column,
                            ItemId sideAccount = kNoId);

// Date and amount texts as the list shows them, remembered by value (so they never go stale)
// until the locale changes: a search over 100,000 rows formats each distinct date and amount
// once.
class TransactionTexts {
public:
    // Forgets everything when the default locale is not the one the texts were made in.
    void followLocale();
    const QString& date(const DateTime& dt);
    const QString& amount(Amount value);
    // False when some character of the search occurs in no amount's text, so no amount
    // needs its text made to know it does not match.
    bool couldBeInAmount(QStringView search);
    static quint32 dateKey(const DateTime& dt);

private:
    QLocale locale_;
    QString amountCharacters_; // case-folded; empty until needed
    QHash<quint32, QString> dates_;
    QHash<Amount, QString> amounts_;
};

// The search rule: description, payee, date text, amount text, then the envelope's name,
// each ignoring case. An empty search lets everything through. One object serves one search
// over many transactions.
class TransactionSearch {
public:
    TransactionSearch(const Budget& budget, const QString& search, TransactionTexts& texts);
    bool matches(const Transaction& t);
    // The amount's text (its magnitude) holds the search: a split payment's whole amount.
    bool matchesAmount(std::int64_t amount);

private:
    bool has(QStringView text) const;

    const Budget& budget_;
    TransactionTexts& texts_;
    QStringMatcher matcher_;
    bool empty_;
    bool amountsPossible_;
    std::unordered_map<quint32, bool> dates_;
    std::unordered_map<ItemId, bool> envelopes_;
};

struct TransactionFilter {
    bool byEnvelope = false;
    const AccountBase* envelopeItem = nullptr; // the selected tree item, if any
    bool byAccount = false;
    const Account* account = nullptr; // the selected account row, if any
    QString search;
};

struct TransactionRow {
    const Transaction* t = nullptr;
    std::int64_t balance = 0; // the shown account's balance after t (account view only)
    int projected = -1;       // an upcoming occurrence (the model's entry), not a transaction
    std::int64_t clearedBalance = 0; // as balance, counting only cleared and reconciled sides
    // A split payment shows as one row (its head: t is one of its parts, amount the whole
    // payment as shown, parts their number) followed by a row per part (part set).
    quint32 split = 0;
    int parts = 0;
    bool part = false;
    bool open = false;       // head: a filter or search found it through its parts
    std::int64_t amount = 0; // head only
    bool isHead() const { return split != 0 && !part; }
};

// The cleared column's glyphs: nothing, a tick, a lock.
QString clearedGlyph(ClearedState state);

// The rows to show, newest (last stored) first. With an account filter each row carries the
// account's running balance, counted back from its balance over all of its transactions in
// date order, so other filters do not change it. A split payment gives its head row, then
// its part rows; it is shown when any of its parts passes the filters.
std::vector<TransactionRow> selectTransactions(const Budget& budget, const TransactionFilter& f,
                                               TransactionTexts& texts);

// The account register's upcoming occurrences that the envelope filter and the search let
// through, their balance continuing from the account's; none without the account filter.
std::vector<ProjectedEntry> selectProjected(const Budget& budget, const TransactionFilter& f,
                                            TransactionTexts& texts, const QDate& today);

class TransactionTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TransactionTableModel(const Budget& budget, QObject* parent = nullptr);

    // sideAccount: the account whose side the amounts and the balance show (none: kNoId).
    // The projected occurrences show greyed, together at the future's end of the list.
    void setRows(std::vector<TransactionRow> rows, ItemId sideAccount,
                 std::vector<ProjectedEntry> projected = {});
    ItemId sideAccount() const { return side_; }
    const Budget& budget() const { return budget_; }
    int sortColumn() const { return sortColumn_; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }
    const Transaction* transactionAt(int row) const; // none for a projected row
    const ProjectedEntry* projectedAt(int row) const;
    // The account whose cleared state the row shows: the filter's, else the row's main side.
    ItemId clearedSideOf(const Transaction& t) const;
    int rowOf(const Transaction* t) const;
    const TransactionRow* rowAt(int row) const;
    // A split payment's head row shows its parts below it, or hides them; false for any
    // other row.
    bool toggleSplit(int row);
    bool isOpen(quint32 split) const { return open_.count(split) || found_.count(split); }
    void rowChanged(const Transaction* t);
    void setBaseColour(const QColor& base) { base_ = base; }
    // Odd rows: each channel of the base colour lowered by 25, wrapping within the byte.
    static QColor shadedColour(const QColor& base);
    // The rows whose texts in the column are the longest (by characters), at most count.
    std::vector<int> longestRows(int column, int count);
    TransactionTexts& texts() { return texts_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    // Ties keep the newest first, in either direction.
    void sort(int column, Qt::SortOrder order) override;

private:
    QString text(const TransactionRow& row, int column) const;
    std::int64_t rowAmount(const TransactionRow& row) const;
    void sortRows();
    void sortTransactionRows();
    // The rows on screen: the sorted top rows, each open split followed by its parts.
    void rebuildView();

    const Budget& budget_;
    std::vector<TransactionRow> rows_; // top rows: transactions and split heads
    std::unordered_map<quint32, std::vector<TransactionRow>> parts_;
    std::set<quint32> open_;  // opened by the user
    std::set<quint32> found_; // opened because the filter found them through a part
    std::vector<TransactionRow> view_;
    std::vector<ProjectedEntry> projected_;
    ItemId side_ = kNoId;
    int sortColumn_ = DateColumn;
    Qt::SortOrder sortOrder_ = Qt::DescendingOrder;
    QColor base_ = Qt::white;
    mutable TransactionTexts texts_;
};
