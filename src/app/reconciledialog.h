#pragma once
// The "Reconcile" dialog: the statement's date and ending balance, the account's transactions
// up to that date with tick boxes, the cleared total and the difference, "Finish" when the
// difference is zero and "Finish with an adjustment" when it is not.

#include "model/reconcile.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QDialog>
#include <memory>

class Budget;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

class ReconcileModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TickColumn, DateColumn, PayeeColumn, EnvelopeColumn, AmountColumn, ColumnCount };

    ReconcileModel(const Budget& budget, Reconciliation& reconciliation, QObject* parent);
    // After the reconciliation's rows changed (a new statement date).
    void reload();
    void ticksChanged();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

signals:
    void tickToggled();

private:
    const Budget& budget_;
    Reconciliation& r_;
};

class ReconcileDialog : public QDialog {
    Q_OBJECT
public:
    // Starts from the account's last imported statement when it has one newer than its last
    // reconcile, else from today and an empty balance.
    ReconcileDialog(const Budget& budget, const Account& account, QWidget* parent = nullptr);
    ~ReconcileDialog() override;

    QDate statementDay() const;
    Amount statementBalance() const;
    bool prefilled() const { return prefilled_; }
    // How the user closed it: "Finish" or "Finish with an adjustment".
    bool withAdjustment() const { return adjust_; }
    const Reconciliation& reconciliation() const { return *r_; }
    Reconciliation& reconciliation() { return *r_; }

    QDateEdit* dateField() const { return date_; }
    QLineEdit* balanceField() const { return balance_; }
    QTableView* table() const { return table_; }
    QLabel* clearedLabel() const { return cleared_; }
    QLabel* differenceLabel() const { return difference_; }
    QPushButton* finishButton() const { return finish_; }
    QPushButton* adjustButton() const { return adjustButton_; }
    QPushButton* matchButton() const { return match_; }

private:
    void dateChanged();
    void refresh();
    void selectMatch();

    const Budget& budget_;
    std::unique_ptr<Reconciliation> r_;
    ReconcileModel* model_;
    QDateEdit* date_;
    QLineEdit* balance_;
    QTableView* table_;
    QLabel* cleared_;
    QLabel* difference_;
    QPushButton* match_;
    QPushButton* finish_;
    QPushButton* adjustButton_;
    bool prefilled_ = false;
    bool adjust_ = false;
};
