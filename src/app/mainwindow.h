#pragma once
// The main window: account list, information pane, envelope tree, filter bar and
// transaction list laid out by a fixed rule; the menus; the routing of every command to
// the operation that carries it out; and the one place where what a command changed is
// shown and saved (showChanges).

#include "app/commands.h"
#include "app/shell.h"

#include <QDate>
#include <QMainWindow>
#include <functional>
#include <memory>

class AccountList;
class EnvelopeTree;
class FilterBar;
class InfoPane;
class MessageBoxPrompter;
class QMenu;
class QSettings;
class QTreeWidgetItem;
class TransactionList;
class UndoHistory;
class UpcomingPane;
class QDockWidget;
class QTimer;
struct ChangeReport;

struct PaneLayout {
    QRect accountList, infoPane, filterBar, transactionList, tree;
    bool transactionListShown = true;
};
// The panes' rectangles in a client area of the given size.
PaneLayout computePaneLayout(const QSize& client, int filterBarHeight, bool showTransactions);

class MainWindow : public QMainWindow, public Shell {
    Q_OBJECT
public:
    // prompter defaults to message boxes.
    explicit MainWindow(Budget& budget, Prompter* prompter = nullptr);
    ~MainWindow() override;

    // After loading: fills the panes, selects the first tree row, builds the transaction
    // list, lays out, refreshes and writes the "State of the Budget" report.
    void populate();

    // Shell
    Budget& budget() override { return budget_; }
    QWidget* dialogParent() override { return this; }
    Prompter& prompter() override { return *prompter_; }
    void showHelp(const QString& heading, const QStringList& body) override;
    void restoreHelp() override;
    void showItem(AccountBase* item) override;
    void removeItem(AccountBase* item) override;
    // The upcoming list and the envelopes' due texts follow the schedules.
    void schedulesChanged();

    // Enters what the "enter automatically" schedules have due as one step, then does the
    // same whenever the day changes while the program runs; returns how many were entered.
    int startSchedules();
    int enterDueScheduled();
    UpcomingPane* upcomingPane() const { return upcoming_; }
    QDockWidget* upcomingDock() const { return upcomingDock_; }

    // Account names and balances, tree labels, repaint.
    void refreshTexts();
    // The whole-budget save; also rebuilds the "State of the Budget" report.
    void saveBudget();
    void rebuildTransactionList();
    void updateTransactionRow(const Transaction* t);
    void layoutWindow();
    void repaintAccountList();
    // After a command: brings the views up to what it changed (the whole window when
    // wholeBudget) and saves. Nothing else saves after a command.
    void showChanges(const ChangeReport& change, bool wholeBudget = false);

    // The whole-budget write behind saveBudget (none in tests: nothing is written).
    using Saver = std::function<void(const Budget&, Prompter&)>;
    void setSaver(Saver saver) { saver_ = std::move(saver); }
    // Returns once no save is running or waiting (none in tests): the backups may only be
    // listed and read while no save rotates them.
    void setSaveWaiter(std::function<void()> wait) { waitForSaves_ = std::move(wait); }
    // The budget file whose backups "Restore from backup..." offers (none in tests).
    void setBudgetFilePath(const QString& path) { budgetFile_ = path; }

    // Every command that changes the budget is one step here.
    UndoHistory& history() { return *history_; }
    // Undoes (or redoes) the last step, shows the result and saves it.
    void undoStep(bool redo);
    // Makes the budget a copy of the budget workbook at path, as one step, and saves it;
    // false (with a message) when it cannot be read.
    bool restoreBudgetFrom(const QString& path);

    // A click on the cleared column: uncleared and cleared trade places as one step; a
    // reconciled side stays as it is. True when it changed.
    bool toggleCleared(const Transaction* t, ItemId account);

    // Runs one command and the cycle that follows it.
    void runCommand(const CommandRequest& request);
    // Replaces the calls into the operations (tests); the after-command cycle stays.
    using OperationHandler = std::function<bool(const CommandRequest&)>;
    void setOperationHandler(OperationHandler handler) { handler_ = std::move(handler); }
    const CommandRequest& lastCommand() const { return lastCommand_; }

    // Context menus as they would pop up (null when the row gets none).
    std::unique_ptr<QMenu> treeContextMenu(QTreeWidgetItem* row);
    std::unique_ptr<QMenu> accountContextMenu(Account* account);
    std::unique_ptr<QMenu> transactionContextMenu(const Transaction* t);
    // Dispatches the command an entry of such a menu carries.
    void runMenuChoice(const QAction* chosen, AccountBase* item, const Transaction* t = nullptr);

    // Moves an item before, after or into the request's target; true when it moved.
    bool moveItem(const CommandRequest& request);
    void refreshBudgetHealth();

    // The user's column widths and the window's place and size, kept between runs.
    void saveViewState(QSettings& settings) const;
    // True when a window geometry was restored (otherwise the caller places the window).
    bool restoreViewState(const QSettings& settings);

    AccountList* accountList() const { return accounts_; }
    EnvelopeTree* envelopeTree() const { return tree_; }
    InfoPane* infoPane() const { return info_; }
    FilterBar* filterBar() const { return filter_; }
    TransactionList* transactionList() const { return transactions_; }
    QWidget* clientArea() const { return client_; }
    QAction* menuAction(Command command) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createMenus();
    void connectPanes();
    void addMoveEntries(QMenu* menu, QTreeWidgetItem* row, AccountBase* item);
    void syncFolderOrder();
    void showAbout();
    void restoreFromBackup();
    void updateUndoActions();
    // Runs body as one undo step of the given name, then shows and saves what it changed;
    // true when it changed something.
    bool asStep(const QString& name, const std::function<void()>& body, bool wholeBudget = false);

    Budget& budget_;
    Saver saver_;
    std::function<void()> waitForSaves_;
    std::unique_ptr<MessageBoxPrompter> ownPrompter_;
    Prompter* prompter_;
    QWidget* client_;
    AccountList* accounts_;
    InfoPane* info_;
    EnvelopeTree* tree_;
    FilterBar* filter_;
    TransactionList* transactions_;
    bool listShown_ = true;
    OperationHandler handler_;
    CommandRequest lastCommand_;
    QList<QAction*> menuActions_;
    std::unique_ptr<UndoHistory> history_;
    QString budgetFile_;
    UpcomingPane* upcoming_;
    QDockWidget* upcomingDock_;
    QTimer* dayTimer_ = nullptr;
    QDate lastDueCheck_;
};
