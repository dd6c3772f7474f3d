#pragma once
// "Import transactions...": a QIF statement is read, reviewed in the "Transaction Import"
// dialog (mapping, duplicates, rules, resulting balance) and the checked rows are recorded.

#include "import/qifreader.h"
#include "import/ruleeditor.h"

#include <QDialog>
#include <QHash>
#include <QString>
#include <QTime>
#include <functional>
#include <vector>

class Account;
class Budget;
class Prompter;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableWidget;
struct Transaction;

// What the import needs from the main window.
struct ImportHooks {
    QWidget* parent = nullptr;
    Prompter* prompter = nullptr; // null: plain message boxes
    std::function<void()> saveBudget;
    std::function<void()> refreshTexts;
    std::function<void()> rebuildTransactionList;
    std::function<QString()> chooseFile; // "" on cancel; unset: the open-file dialog
    // The review dialog has no help text of its own; kept for the window's uniform wiring.
    std::function<void(const QString&, const QStringList&)> showHelp;
    std::function<void()> restoreHelp;
};

// The whole command. True when the user confirmed (the budget has then been saved, even when
// no row was chosen); false on cancel, an unreadable file or an empty statement.
bool importTransactions(Budget& budget, Account* account, const ImportHooks& hooks);

// One use of the command.
struct ImportBatch {
    Account* account = nullptr;
    std::vector<ImportRecord> records; // file order; the dialog's rows
    std::vector<ImportRecord> chosen;  // the checked rows when the user confirmed
    DateTime latest;                   // the latest date of all records (unset at start)
};

// Records the chosen rows as expenses of the batch's account (amount as on the statement),
// raises the account's last-import date to the batch's latest date when there was a row.
// The caller sorts, refreshes and saves.
void recordImport(Budget& budget, const ImportBatch& batch);

// Counts the 3-character pieces of a (shorter at its end) that occur in b, ignoring case.
int payeeOverlap(const QString& a, const QString& b);

// The first transaction that a statement row repeats: the same money in or out of the
// account within 5 days; whole-currency amounts also need payees with overlap of 2 or more.
const Transaction* findDuplicate(const Budget& budget, ItemId account, const QString& payee,
                                 Amount amount, const DateTime& date);

// The same answers as findDuplicate for many rows: the account's transactions are indexed
// by the row amount they would repeat.
class DuplicateFinder {
public:
    DuplicateFinder(const Budget& budget, ItemId account);
    const Transaction* find(const QString& payee, Amount amount, const DateTime& date) const;

private:
    const Budget& budget_;
    QHash<qint64, std::vector<const Transaction*>> byRowAmount_; // store order
};

class ImportReviewDialog : public QDialog {
    Q_OBJECT
public:
    ImportReviewDialog(Budget& budget, ImportBatch& batch, Prompter* prompter,
                       QWidget* parent = nullptr);

    QTableWidget* transactionList() const { return transactions_; }
    QTableWidget* ruleList() const { return rules_; }
    QDateEdit* datePicker() const { return picker_; }
    QLabel* balanceText() const { return balance_; }
    QPushButton* addRuleButton() const { return addRule_; }
    QPushButton* editRuleButton() const { return editRule_; }
    QPushButton* deleteRuleButton() const { return deleteRule_; }
    QPushButton* okButton() const { return ok_; }

    // The user actions (a double-click on a statement row, the three rule buttons, OK).
    void mapRow(int row);
    void addRule();
    void editRule();
    void deleteRules();
    void confirm();

private:
    void fillRules();
    void fillTransactions();
    void remapRows();
    void updateBalanceAndButtons();
    void fitColumns(QTableWidget* table);
    double pickerSerial() const;

    Budget& budget_;
    ImportBatch& batch_;
    Prompter* prompter_;
    DuplicateFinder duplicates_;
    bool busy_ = false;
    QTime pickerTime_;
    QTableWidget* transactions_ = nullptr;
    QTableWidget* rules_ = nullptr;
    QDateEdit* picker_ = nullptr;
    QLabel* balance_ = nullptr;
    QPushButton* addRule_ = nullptr;
    QPushButton* editRule_ = nullptr;
    QPushButton* deleteRule_ = nullptr;
    QPushButton* ok_ = nullptr;
};
