#pragma once
// The account list: every visible account with its balance and a painted cell of action
// icons (edit, deposit, transfer or card payment) that react to clicks and show tooltips.

#include <QTableWidget>
#include <array>

class Account;
class Budget;
class TrackingTip;

// Action codes of the icon cell (bit values).
enum AccountAction : int {
    ActionNone = 0,
    ActionDeposit = 1,
    ActionTransfer = 2,
    ActionPayCard = 4,
    ActionEdit = 8,
};

struct AccountHit {
    int action = ActionNone;
    Account* account = nullptr;
};

class AccountList : public QTableWidget {
    Q_OBJECT
public:
    // The tooltip of an account's name and balance: its last reconcile, if any.
    static QString reconciledTip(const Account& account);
    static constexpr int AccountIdRole = Qt::UserRole + 1;
    enum Column { NameColumn = 0, BalanceColumn = 1, ActionsColumn = 2 };

    explicit AccountList(Budget& budget, QWidget* parent = nullptr);

    // One row per visible account in the budget's account order.
    void rebuild();
    // Appends a row (a newly added or unhidden account) unless the account has one.
    void addAccountRow(Account* account);
    void removeAccountRow(const Account* account);
    int rowOf(const Account* account) const;
    Account* accountAt(int row) const;
    Account* selectedAccount() const;
    // "Account" and "Balance" texts from the accounts.
    void refreshTexts();
    void fitColumns();

    AccountHit hitTest(const QPoint& viewportPos) const;
    // The icon extent [left, right) of an action code, in viewport coordinates.
    std::pair<int, int> actionExtent(int action) const;
    static QString actionTooltip(int action, const QString& accountName);
    TrackingTip* tip() const { return tip_; }

signals:
    void actionClicked(int action, Account* account);
    void accountContextMenu(Account* account, const QPoint& globalPos);
    void accountDoubleClicked(Account* account);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void setRowTexts(int row, const Account* account);
    void openMenuAtCurrentRow();

    Budget& budget_;
    TrackingTip* tip_;
    AccountHit pressHit_;
};
