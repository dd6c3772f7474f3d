#pragma once
// The filter bar and the transaction list: the view over the transaction table, its keys and
// menus, and the bar whose choices and search text filter it.

#include "app/columnwidths.h"
#include "app/commands.h"
#include "app/transactiontable.h"

#include <QTableView>
#include <QWidget>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

class TransactionList : public QTableView {
    Q_OBJECT
public:
    explicit TransactionList(const Budget& budget, QWidget* parent = nullptr);

    TransactionTableModel* tableModel() const { return model_; }
    // Shows the transactions the filter lets through and sizes the columns.
    void showTransactions(const TransactionFilter& filter);
    void clearRows();
    void updateRow(const Transaction* t);
    // Many rows at once (a reconcile): the list is redrawn or rebuilt once.
    void updateRows(const std::vector<const Transaction*>& ts);
    const Transaction* transactionAt(int row) const { return model_->transactionAt(row); }
    ColumnWidths* columnWidths() const { return widths_; }
    // Every column fits its header and its longest texts (a column the user sized keeps its
    // width).
    void fitColumns();
    // The selected rows' transactions, top to bottom.
    std::vector<const Transaction*> selectedTransactions() const;
    // The menu of a projected row: Enter, Skip and Edit then enter (its schedule's next
    // occurrence only) and Edit schedule; none for another row.
    std::unique_ptr<QMenu> scheduleMenu(int row) const;

signals:
    void editRequested(const Transaction* t);
    void deleteRequested(); // the Delete key
    void transactionContextMenu(const Transaction* t, const QPoint& globalPos);
    // A projected row's command, for the schedule at that place in the budget's list.
    void scheduleCommandRequested(Command command, quint32 schedule);
    // A click on the cleared column: the account side whose state the row shows.
    void clearedToggleRequested(const Transaction* t, ItemId account);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openMenuAtCurrentRow();
    // Double-click or Enter on a projected row; false for another row.
    bool openProjected(int row);
    void runScheduleMenu(int row, const QPoint& globalPos);

    TransactionTableModel* model_;
    ColumnWidths* widths_;
    TransactionFilter filter_;
    const Transaction* pressedCleared_ = nullptr; // the row whose cleared cell was pressed
};

class FilterBar : public QWidget {
    Q_OBJECT
public:
    // How long typing pauses before the list follows the search text.
    static constexpr int kSearchDelayMs = 250;

    explicit FilterBar(QWidget* parent = nullptr);

    QCheckBox* showList() const { return showList_; }
    QCheckBox* byEnvelope() const { return byEnvelope_; }
    QCheckBox* byAccount() const { return byAccount_; }
    QLineEdit* searchField() const { return search_; }
    QPushButton* searchButton() const { return searchButton_; }

signals:
    // Any click in the bar: the list is rebuilt and the window laid out again.
    void changed();
    // The search text changed and typing paused: the list is rebuilt.
    void searchChanged();

private:
    QCheckBox* showList_;
    QCheckBox* byEnvelope_;
    QCheckBox* byAccount_;
    QLabel* searchLabel_;
    QLineEdit* search_;
    QPushButton* searchButton_;
    QTimer* searchTimer_;
};
